#include "app/settings_file.h"

#include "base/dpi.h"
#include "base/product.h"
#include "base/text_sizes.h"

#include <shlwapi.h>

#include <algorithm>
#include <string>

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

// One axis of PlaceOnScreen: `start` and `extent` of the window, the work area's.
void FitAxis(LONG& start, LONG& extent, LONG areaStart, LONG areaEnd)
{
    extent = std::min(extent, areaEnd - areaStart);
    start = std::clamp(start, areaStart, areaEnd - extent);
}

// The work area of the monitor a rectangle in screen coordinates lies on, or is
// nearest to; the rectangle itself where there is no monitor to ask.
RECT WorkAreaOnScreen(const RECT& onScreen)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(&onScreen, MONITOR_DEFAULTTONEAREST), &monitor))
        return onScreen;
    return monitor.rcWork;
}

// The same for a placement's normal rectangle, which is in workspace coordinates:
// they start at the primary monitor's work area.
RECT WorkAreaFor(const RECT& normal)
{
    POINT origin{0, 0};
    MONITORINFO primary{};
    primary.cbSize = sizeof(primary);
    if (GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary))
        origin = POINT{primary.rcWork.left - primary.rcMonitor.left, primary.rcWork.top - primary.rcMonitor.top};
    RECT onScreen = normal;
    OffsetRect(&onScreen, origin.x, origin.y);
    RECT work = WorkAreaOnScreen(onScreen);
    OffsetRect(&work, -origin.x, -origin.y);
    return work;
}

// Whether the settings hold a complete, checksummed placement, and at which DPI
// it was taken; `dpi` when they do not say.
bool ReadSavedPlacement(UINT dpi, WINDOWPLACEMENT* placement, UINT* savedDpi)
{
    wchar_t path[PathLength];
    if (!BuildSettingsPath(path))
        return false;
    // Exactly two digits per byte plus two for the checksum. Some profile
    // implementations read a longer value by its beginning; it is damaged all the same.
    constexpr DWORD digits = 2 * sizeof(WINDOWPLACEMENT) + 2;
    wchar_t text[digits + 2] = L"";
    if (GetPrivateProfileStringW(SettingsSection, L"placement", L"", text, digits + 2, path) != digits)
        return false;
    // Only a complete, checksummed record is applied: a zeroed one would ask for a
    // hidden, empty window wherever the platform does not check the length field.
    if (!GetPrivateProfileStructW(SettingsSection, L"placement", placement, sizeof(*placement), path) ||
        placement->length != sizeof(*placement))
        return false;
    *savedDpi = GetPrivateProfileIntW(SettingsSection, L"dpi", 0, path);
    // Out of every range a monitor has: a damaged value, taken as today's.
    if (*savedDpi < 48 || *savedDpi > 960)
        *savedDpi = dpi;
    return true;
}

} // namespace

RECT PlaceOnScreen(const RECT& saved, UINT savedDpi, UINT dpi, const RECT& workArea)
{
    LONG left = saved.left, top = saved.top;
    LONG width = RescaleForDpi(saved.right - saved.left, savedDpi, dpi);
    LONG height = RescaleForDpi(saved.bottom - saved.top, savedDpi, dpi);
    FitAxis(left, width, workArea.left, workArea.right);
    FitAxis(top, height, workArea.top, workArea.bottom);
    return RECT{left, top, left + width, top + height};
}

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
    WritePrivateProfileStringW(SettingsSection, L"dpi", std::to_wstring(WindowDpi(window)).c_str(), path);
}

void RestoreWindowPlacement(HWND window)
{
    UINT dpi = WindowDpi(window);
    WINDOWPLACEMENT placement{};
    UINT savedDpi = dpi;
    if (ReadSavedPlacement(dpi, &placement, &savedDpi)) {
        // Also at the same DPI: the monitor it was saved on may be gone, or smaller.
        placement.rcNormalPosition =
            PlaceOnScreen(placement.rcNormalPosition, savedDpi, dpi, WorkAreaFor(placement.rcNormalPosition));
        SetWindowPlacement(window, &placement);
        return;
    }
    // The template's size grows with the DPI, and at 200 % it is wider than a small
    // screen.
    RECT opened{};
    GetWindowRect(window, &opened);
    RECT placed = PlaceOnScreen(opened, dpi, dpi, WorkAreaOnScreen(opened));
    if (!EqualRect(&placed, &opened))
        SetWindowPos(window, nullptr, placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void DeleteSettings()
{
    wchar_t path[PathLength];
    if (BuildSettingsPath(path))
        WritePrivateProfileStringW(SettingsSection, nullptr, nullptr, path);
}
