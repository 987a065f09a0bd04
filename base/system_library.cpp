#include "base/system_library.h"

#include "base/text_sizes.h"

#include <cwchar>

void NarrowLibrarySearchPath()
{
    // Windows 7 without its loader update lacks the call; there only the current
    // folder can be taken out, and every load names its folder in full.
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    auto setDefault = LookUpProcedure<SetDefaultDirectories>(GetModuleHandleW(L"kernel32.dll"),
                                                             "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* fileName)
{
    // By full path: a load by name would be answered with any library of that name
    // already in the process, wherever it was loaded from.
    wchar_t path[PathLength] = {};
    UINT length = GetSystemDirectoryW(path, static_cast<UINT>(PathLength));
    if (length == 0 || length + 1 + std::wcslen(fileName) >= PathLength)
        return nullptr;
    path[length] = L'\\';
    lstrcpynW(path + length + 1, fileName, static_cast<int>(PathLength - length - 1));

    // Its own imports come from the system folder too. Windows 7 without its loader
    // update refuses the flag as an invalid parameter; there they are looked for
    // beside the library first, which is the system folder as well.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

namespace {

bool AskWhetherUnderWow64()
{
    static const bool underWow64 = [] {
        auto isWow64Process =
            LookUpProcedure<BOOL(WINAPI*)(HANDLE, BOOL*)>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
        BOOL wow64 = FALSE;
        return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
    }();
    return underWow64;
}

// Looked up, since a 32-bit system may lack them; there is nothing to turn off there.
BOOL WINAPI DisableRedirection(void** previous)
{
    static const auto disable = LookUpProcedure<BOOL(WINAPI*)(void**)>(GetModuleHandleW(L"kernel32.dll"),
                                                                      "Wow64DisableWow64FsRedirection");
    return disable ? disable(previous) : FALSE;
}

BOOL WINAPI RevertRedirection(void* previous)
{
    static const auto revert = LookUpProcedure<BOOL(WINAPI*)(void*)>(GetModuleHandleW(L"kernel32.dll"),
                                                                    "Wow64RevertWow64FsRedirection");
    return revert ? revert(previous) : FALSE;
}

} // namespace

Wow64Calls wow64Calls = {AskWhetherUnderWow64, DisableRedirection, RevertRedirection};

bool RunningUnderWow64()
{
    return wow64Calls.runningUnderWow64();
}
