// Shared by the benchmark programs: timing, and the service manager calls that a
// service query cannot do without.
#pragma once

#include "base/handles.h"

#include <algorithm>
#include <string>
#include <vector>

inline bool BenchRunningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// A file next to the running benchmark program; `name` may begin with "..\\".
inline std::wstring PathBesideBench(const wchar_t* name)
{
    wchar_t module[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

inline double SecondsBetween(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double TimeSeconds(Work work)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return SecondsBetween(start, end);
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Connection, service, configuration and description (each sized first), status,
// and closing both handles.
inline void BareServiceQuery(const wchar_t* name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), name, GENERIC_READ) : nullptr);
    if (!service)
        return;
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    UniqueHeapBlock config = AllocateHeapBlock(needed);
    QueryServiceConfigW(service.get(), static_cast<QUERY_SERVICE_CONFIGW*>(config.get()), needed, &needed);
    needed = 0;
    QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    UniqueHeapBlock description = AllocateHeapBlock(needed);
    QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, static_cast<BYTE*>(description.get()), needed,
                         &needed);
    SERVICE_STATUS status{};
    QueryServiceStatus(service.get(), &status);
}
