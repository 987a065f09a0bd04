// Loading and unloading a filter's driver straight through the kernel, by the
// registry path of its service key.
#pragma once

#include <windows.h>
#include <winternl.h>

// The four native calls the loader makes. They are looked up by name in ntdll,
// because their ordinals differ between system builds; a missing one stays null.
// Tests put recording stand-ins in their place.
struct NativeDriverCalls {
    VOID(NTAPI* initUnicodeString)(UNICODE_STRING* target, const wchar_t* source);
    NTSTATUS(NTAPI* adjustPrivilege)(ULONG privilege, BOOLEAN enable, BOOLEAN currentThread, BOOLEAN* wasEnabled);
    NTSTATUS(NTAPI* loadDriver)(UNICODE_STRING* servicePath);
    NTSTATUS(NTAPI* unloadDriver)(UNICODE_STRING* servicePath);
};

// What ntdll of this system offers under the four names.
NativeDriverCalls ResolveNativeDriverCalls();

// The calls LoadDriver and UnloadDriver use, resolved at start.
extern NativeDriverCalls nativeDriverCalls;

// Privilege number of SE_LOAD_DRIVER_PRIVILEGE.
inline constexpr ULONG LoadDriverPrivilege = 10;

// Longest service name that fits the 260-character service key path.
inline constexpr size_t MaxDriverServiceNameLength = 207;

// Each returns true only when the kernel answered STATUS_SUCCESS. Names too long
// for the service key path, and a system without one of the calls, give false.
bool LoadDriver(const wchar_t* name);
bool UnloadDriver(const wchar_t* name);
