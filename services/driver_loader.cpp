#include "services/driver_loader.h"

#include "base/system_library.h"
#include "base/text_sizes.h"

#include <cwchar>

namespace {

constexpr wchar_t ServiceKeyPrefix[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";

using DriverCall = NTSTATUS(NTAPI*)(UNICODE_STRING*);

bool CallWithServicePath(const wchar_t* name, DriverCall NativeDriverCalls::*which)
{
    const NativeDriverCalls& calls = nativeDriverCalls;
    DriverCall call = calls.*which;
    if (!name || std::wcslen(name) > MaxDriverServiceNameLength || !calls.initUnicodeString ||
        !calls.adjustPrivilege || !call)
        return false;

    constexpr size_t prefixLength = sizeof(ServiceKeyPrefix) / sizeof(wchar_t) - 1;
    wchar_t path[PathLength] = {};
    lstrcpynW(path, ServiceKeyPrefix, static_cast<int>(PathLength));
    lstrcpynW(path + prefixLength, name, static_cast<int>(PathLength - prefixLength));
    UNICODE_STRING counted{};
    calls.initUnicodeString(&counted, path);

    // Enabled for the whole process and left on; when the user does not hold the
    // privilege the kernel's answer to the call below says so.
    BOOLEAN wasEnabled = FALSE;
    calls.adjustPrivilege(LoadDriverPrivilege, TRUE, FALSE, &wasEnabled);
    return call(&counted) == 0;
}

} // namespace

NativeDriverCalls ResolveNativeDriverCalls()
{
    NativeDriverCalls calls{};
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return calls;
    calls.initUnicodeString = LookUpProcedure<decltype(calls.initUnicodeString)>(ntdll, "RtlInitUnicodeString");
    calls.adjustPrivilege = LookUpProcedure<decltype(calls.adjustPrivilege)>(ntdll, "RtlAdjustPrivilege");
    calls.loadDriver = LookUpProcedure<decltype(calls.loadDriver)>(ntdll, "NtLoadDriver");
    calls.unloadDriver = LookUpProcedure<decltype(calls.unloadDriver)>(ntdll, "NtUnloadDriver");
    return calls;
}

NativeDriverCalls nativeDriverCalls = ResolveNativeDriverCalls();

bool LoadDriver(const wchar_t* name)
{
    return CallWithServicePath(name, &NativeDriverCalls::loadDriver);
}

bool UnloadDriver(const wchar_t* name)
{
    return CallWithServicePath(name, &NativeDriverCalls::unloadDriver);
}
