#include "app/console_offline.h"

#include "app/console_text.h"
#include "base/error_box.h"
#include "base/handles.h"
#include "base/strings.h"
#include "res/resource.h"
#include "services/offline_machine.h"

#include <cstdio>
#include <iterator>

namespace {

// The loaded hive's key under HKEY_LOCAL_MACHINE, for the console handler too.
// The lock keeps the handler's unload and the command's own from crossing, so that
// neither takes the other's failure for its success.
wchar_t loadedKey[64];
bool hiveLoaded = false;
SRWLOCK unloadLock = SRWLOCK_INIT;

// False, with the reason as the last error, when it stays loaded.
bool UnloadHive()
{
    AcquireSRWLockExclusive(&unloadLock);
    LSTATUS status = ERROR_SUCCESS;
    if (hiveLoaded) {
        status = hiveCalls.unloadKey(HKEY_LOCAL_MACHINE, loadedKey);
        hiveLoaded = status != ERROR_SUCCESS;
    }
    ReleaseSRWLockExclusive(&unloadLock);
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

// Ctrl+C, Ctrl+Break or a closed console: the hive goes now where nothing holds
// a key of it open, and the process with it. Else the command is let finish the
// step it is in, which its own unload follows.
BOOL WINAPI OnConsoleBreak(DWORD)
{
    if (UnloadHive())
        ExitProcess(ConsoleFailed);
    return TRUE;
}

// The same file or folder, however it is reached: same volume, same file.
bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    int index = 0;
    for (const std::wstring* path : {&a, &b}) {
        UniqueFile file(CreateFileW(path->c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), &info[index]))
            return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
        ++index;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 4];
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    std::wstring result = length == 0 || length >= std::size(full) ? path : std::wstring(full, length);
    // D:\Windows\ is D:\Windows; D:\ stays itself.
    while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/'))
        result.pop_back();
    return result;
}

bool EnablePrivileges()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return false;
    for (const wchar_t* name : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) ||
            !AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) ||
            GetLastError() == ERROR_NOT_ALL_ASSIGNED)
            return false;
    }
    return true;
}

// The hive's transaction logs: Windows may hold changes there that its file does
// not have yet, so a copy without them would not be the registry as it was.
const wchar_t* const HiveLogs[] = {L".LOG1", L".LOG2"};

// Removes the copies of the hive and its logs that end in `suffix`.
void DropCopies(const std::wstring& hive, const std::wstring& suffix)
{
    DeleteFileW((hive + suffix).c_str());
    for (const wchar_t* log : HiveLogs)
        DeleteFileW((hive + log + suffix).c_str());
}

// Copies the hive and its logs beside themselves, each named after the time, and
// never over an earlier copy: two commands in one second keep both. The suffix of
// the copies, or empty (with none left, the reason as the last error) when one
// could not be made.
std::wstring CopyHive(const std::wstring& hive)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    std::swprintf(stamp, std::size(stamp), L".quillmere-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::wstring suffix = stamp + (attempt > 1 ? L"-" + std::to_wstring(attempt) : std::wstring());
        if (!CopyFileW(hive.c_str(), (hive + suffix).c_str(), TRUE)) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return {};
        }
        for (const wchar_t* log : HiveLogs) {
            std::wstring from = hive + log;
            if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND)
                continue;
            if (!CopyFileW(from.c_str(), (from + suffix).c_str(), TRUE)) {
                DWORD error = GetLastError();
                DropCopies(hive, suffix);
                SetLastError(error);
                return {};
            }
        }
        return suffix;
    }
    return {};
}

// The control set the installation starts with: Select's Current, else its
// Default, else the first; empty when none of them is there.
std::wstring ControlSetOf(const std::wstring& hiveKey)
{
    UniqueKey select;
    std::vector<DWORD> candidates;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (hiveKey + L"\\Select").c_str(), 0, KEY_QUERY_VALUE, select.put()) ==
        ERROR_SUCCESS)
        for (const wchar_t* value : {L"Current", L"Default"}) {
            DWORD number = 0;
            DWORD size = sizeof(number);
            DWORD type = 0;
            if (RegQueryValueExW(select.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD && size == sizeof(number) && number > 0 && number < 1000)
                candidates.push_back(number);
        }
    candidates.push_back(1);
    for (DWORD number : candidates) {
        wchar_t name[16];
        std::swprintf(name, std::size(name), L"ControlSet%03lu", static_cast<unsigned long>(number));
        UniqueKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (hiveKey + L"\\" + name).c_str(), 0, KEY_QUERY_VALUE, key.put()) ==
            ERROR_SUCCESS)
            return name;
    }
    return {};
}

} // namespace

Outcome RunOffline(const Arguments& arguments, bool changes, const std::function<Outcome(const Machine&)>& run)
{
    if (arguments.command->command == Command::Delete)
        return Failed(LoadProgramString(IDS_CLI_OFFLINE_NO_DELETE));
    if (!arguments.drive.empty())
        return Failed(LoadProgramString(IDS_CLI_OFFLINE_NO_DRIVE));
    std::wstring folder = FullPath(arguments.offline);
    wchar_t running[MAX_PATH] = {};
    // The system's own folder, not a terminal server user's.
    UINT length = GetSystemWindowsDirectoryW(running, MAX_PATH);
    if (length > 0 && length < MAX_PATH && SameFolder(folder, running))
        return Failed(FormatProgramString(IDS_CLI_OFFLINE_RUNNING, {folder}));
    std::wstring hive = folder + L"\\System32\\config\\SYSTEM";
    DWORD attributes = GetFileAttributesW(hive.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Failed(FormatProgramString(IDS_CLI_OFFLINE_NO_HIVE, {folder}));
    if (!EnablePrivileges())
        return Failed(FormatProgramString(IDS_CLI_OFFLINE_NOT_LOADED, {hive, ReasonText(GetLastError())}));

    // Copied while it is not loaded: Windows holds a loaded hive's file for itself.
    std::wstring suffix;
    if (changes) {
        suffix = CopyHive(hive);
        if (suffix.empty())
            return Failed(FormatProgramString(IDS_CLI_OFFLINE_NO_COPY, {hive, ReasonText(GetLastError())}));
    }
    // Named after this process; a key left by an earlier process of the same number
    // (one that could not unload, until Windows restarts) is passed over.
    for (unsigned attempt = 1; attempt < 100; ++attempt) {
        std::swprintf(loadedKey, std::size(loadedKey), attempt > 1 ? L"Quillmere-offline-%lu-%u" : L"Quillmere-offline-%lu",
                      static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        UniqueKey taken;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, loadedKey, 0, KEY_QUERY_VALUE, taken.put()) == ERROR_FILE_NOT_FOUND)
            break;
    }
    LSTATUS status = hiveCalls.loadKey(HKEY_LOCAL_MACHINE, loadedKey, hive.c_str());
    if (status != ERROR_SUCCESS) {
        if (!suffix.empty())
            DropCopies(hive, suffix);
        return Failed(FormatProgramString(IDS_CLI_OFFLINE_NOT_LOADED, {hive, ReasonText(static_cast<DWORD>(status))}));
    }
    AcquireSRWLockExclusive(&unloadLock);
    hiveLoaded = true;
    ReleaseSRWLockExclusive(&unloadLock);
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);

    Outcome outcome;
    std::wstring controlSet = ControlSetOf(loadedKey);
    if (controlSet.empty()) {
        outcome = Failed(FormatProgramString(IDS_CLI_OFFLINE_NO_CONTROL_SET, {hive}));
    } else {
        Machine machine = OfflineMachine(loadedKey, controlSet, folder);
        outcome = run(machine);
        if (!outcome.json)
            outcome.summary = FormatProgramString(IDS_CLI_OFFLINE_ON, {folder, controlSet, outcome.summary});
    }
    if (!suffix.empty() && !outcome.json)
        outcome.summary += L"; " + FormatProgramString(IDS_CLI_OFFLINE_COPY, {hive + suffix});
    if (!UnloadHive()) {
        outcome.code = ConsoleFailed;
        outcome.json = false;
        outcome.summary += L"; " + FormatProgramString(IDS_CLI_OFFLINE_NOT_UNLOADED, {loadedKey, ReasonText(GetLastError())});
    }
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
    return outcome;
}
