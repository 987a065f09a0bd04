#include "app/settings_file.h"

#include "base/product.h"
#include "base/text_sizes.h"

#include <shlwapi.h>

namespace {

// The APPDATA folder into `path` (PathLength characters). Without APPDATA, or with
// a value too long for the buffer, `path` stays empty and the file lands relative
// to the current directory.
void StartWithAppData(wchar_t* path)
{
    path[0] = L'\0';
    DWORD length = GetEnvironmentVariableW(L"APPDATA", path, PathLength);
    if (length == 0 || length >= PathLength)
        path[0] = L'\0';
}

// %APPDATA%\tolvern\settings.ini; false when it does not fit, so that no
// operation works on a cut-off path.
bool BuildSettingsPath(wchar_t* path)
{
    StartWithAppData(path);
    return PathAppendW(path, SettingsFolder) && PathAppendW(path, SettingsFileName);
}

} // namespace

void SaveWindowSettings(HWND window)
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(window, &placement);

    wchar_t path[PathLength];
    StartWithAppData(path);
    if (!PathAppendW(path, SettingsFolder))
        return;
    CreateDirectoryW(path, nullptr); // an existing folder is fine
    if (!PathAppendW(path, SettingsFileName))
        return;
    WritePrivateProfileStringW(SettingsSection, L"description", ProductTitle, path);
    WritePrivateProfileStringW(SettingsSection, L"url", ProductPageAddress, path);
    WritePrivateProfileStructW(SettingsSection, L"placement", &placement, sizeof(placement), path);
}

void RestoreWindowPlacement(HWND window)
{
    WINDOWPLACEMENT placement{};
    wchar_t path[PathLength];
    if (!BuildSettingsPath(path))
        return;
    // Exactly two digits per byte plus two for the checksum. Some profile
    // implementations read a longer value by its beginning; it is damaged all the same.
    constexpr DWORD digits = 2 * sizeof(placement) + 2;
    wchar_t text[digits + 2] = L"";
    if (GetPrivateProfileStringW(SettingsSection, L"placement", L"", text, digits + 2, path) != digits)
        return;
    // Only a complete, checksummed record is applied: a zeroed one would ask for a
    // hidden, empty window wherever the platform does not check the length field.
    if (GetPrivateProfileStructW(SettingsSection, L"placement", &placement, sizeof(placement), path) &&
        placement.length == sizeof(placement))
        SetWindowPlacement(window, &placement);
}

void DeleteSettings()
{
    wchar_t path[PathLength];
    if (BuildSettingsPath(path))
        WritePrivateProfileStringW(SettingsSection, nullptr, nullptr, path);
}
