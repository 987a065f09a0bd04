#include "base/wow64.h"

#include <windows.h>

bool RunningUnderWow64()
{
    // Looked up at run time: the oldest systems the program starts on lack the call,
    // and they are never 64-bit.
    using IsWow64ProcessCall = BOOL(WINAPI*)(HANDLE, BOOL*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto isWow64Process = reinterpret_cast<IsWow64ProcessCall>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr));
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}
