// Shared by the benchmark programs: timing, and the system calls that a service
// query cannot do without, made bare.
#pragma once

#include "base/device_class.h"
#include "base/handles.h"
#include "base/machine.h"
#include "services/running_machine.h"
#include "tests/support/scratch_folder.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

// The CD/DVD class key's path under HKEY_LOCAL_MACHINE, as the program opens it.
inline const wchar_t* CdromClassKeyPath()
{
    static const std::wstring path = ClassKeyPath(RunningMachine(), CdromClass());
    return path.c_str();
}

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

// The service manager with every right, where a benchmark makes its services; null,
// and said why, away from Wine (it would change a real machine) or without one.
inline UniqueServiceHandle OpenBenchServiceManager()
{
    if (!BenchRunningUnderWine()) {
        std::fprintf(stderr, "This benchmark creates services and edits the registry; it runs only under Wine.\n");
        return {};
    }
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        std::fprintf(stderr, "no service manager: %lu\n", GetLastError());
    return manager;
}

// Takes a benchmark's own service away again, stopping it first if it runs.
inline void StopAndDeleteService(SC_HANDLE manager, const wchar_t* name)
{
    UniqueServiceHandle service(OpenServiceW(manager, name, SERVICE_STOP | DELETE));
    if (!service)
        return;
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    DeleteService(service.get());
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

// Where a bare query looks a description up, fixed once per benchmark: the
// descriptions file of the current directory, and the thread language's section,
// which a query tries before "en".
struct BareDescriptions {
    std::wstring file;
    std::wstring language;
};

inline BareDescriptions BareDescriptionsHere()
{
    BareDescriptions where;
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    where.file = std::wstring(buffer) + L"\\descriptions.ini";
    wchar_t language[8] = {};
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_SISO639LANGNAME, language, 8) > 0)
        where.language = language;
    return where;
}

// The profile reads a query makes: the language's section, then "en" when that
// gave nothing (so "en" twice for an English thread).
inline bool BareLookupDescription(const BareDescriptions& where, const wchar_t* name)
{
    wchar_t text[255] = {};
    if (!where.language.empty())
        GetPrivateProfileStringW(where.language.c_str(), name, L"", text, 255, where.file.c_str());
    if (!text[0])
        GetPrivateProfileStringW(L"en", name, L"", text, 255, where.file.c_str());
    return text[0] != L'\0';
}

// A file's FileDescription: size, read, the first translation, the string.
inline void BareFileDescription(const wchar_t* file)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0)
        return;
    UniqueHeapBlock block = AllocateHeapBlock(size);
    if (!block || !GetFileVersionInfoW(file, 0, size, block.get()))
        return;
    unsigned language = 0x03EC;
    unsigned codePage = 0x0400;
    void* translation = nullptr;
    UINT bytes = 0;
    if (VerQueryValueW(block.get(), L"\\VarFileInfo\\Translation", &translation, &bytes) && bytes >= 4) {
        language = static_cast<const WORD*>(translation)[0];
        codePage = static_cast<const WORD*>(translation)[1];
    }
    wchar_t subBlock[64];
    std::swprintf(subBlock, 64, L"\\StringFileInfo\\%04X%04X\\FileDescription", language, codePage);
    void* value = nullptr;
    UINT characters = 0;
    VerQueryValueW(block.get(), subBlock, &value, &characters);
}

// The system calls one service query makes, in its order and with its branches:
// connection and service; for a missing service only the descriptions file; else
// configuration, the descriptions file, the service's own description when the
// file has none and the driver file's when the service has none either (each
// sized first), status, and closing both handles. `driverFile` is the path the
// query reads the version resource through.
inline void BareServiceQuery(const wchar_t* name, const BareDescriptions& where, const wchar_t* driverFile)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    if (!manager)
        return;
    UniqueServiceHandle service(OpenServiceW(manager.get(), name, GENERIC_READ));
    if (!service) {
        BareLookupDescription(where, name);
        return;
    }
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    UniqueHeapBlock config = AllocateHeapBlock(needed);
    QueryServiceConfigW(service.get(), static_cast<QUERY_SERVICE_CONFIGW*>(config.get()), needed, &needed);
    if (!BareLookupDescription(where, name)) {
        needed = 0;
        QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
        UniqueHeapBlock description = AllocateHeapBlock(needed);
        if (description && QueryServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION,
                                                static_cast<BYTE*>(description.get()), needed, &needed)) {
            const wchar_t* own = static_cast<SERVICE_DESCRIPTIONW*>(description.get())->lpDescription;
            if (!own || !*own)
                BareFileDescription(driverFile);
        }
    }
    SERVICE_STATUS status{};
    QueryServiceStatus(service.get(), &status);
}

// A registry whose Enum holds 3,000 more device instances, as a machine that has
// seen many USB sticks does.
// The backup and restore privileges, without which no hive file loads.
inline void EnableHivePrivileges()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()))
        return;
    for (const wchar_t* privilege : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES enable = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (LookupPrivilegeValueW(nullptr, privilege, &enable.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &enable, 0, nullptr, nullptr);
    }
}

inline constexpr int SeededDevices = 100;
inline constexpr int InstancesPerDevice = 30;
inline constexpr wchar_t kSeedEnumerator[] = L"SYSTEM\\CurrentControlSet\\Enum\\QMBENCH";

inline void SetText(HKEY key, const wchar_t* value, const std::wstring& text, DWORD type = REG_SZ)
{
    RegSetValueExW(key, value, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Instance keys with the values and the subkey a real one carries; every tenth has
// filters of its own, every third a friendly name.
inline bool SeedDevices()
{
    for (int device = 0; device < SeededDevices; ++device) {
        for (int instance = 0; instance < InstancesPerDevice; ++instance) {
            wchar_t path[128];
            std::swprintf(path, 128, L"%ls\\VID_%04X&PID_%04X\\%08d", kSeedEnumerator, 0x1000 + device, device,
                          instance);
            UniqueKey key;
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr) != ERROR_SUCCESS)
                return false;
            wchar_t id[64];
            std::swprintf(id, 64, L"USB\\VID_%04X&PID_%04X", 0x1000 + device, device);
            std::wstring hardwareId = std::wstring(id) + L'\0' + L"USB\\Class_08" + L'\0';
            SetText(key.get(), L"DeviceDesc", L"USB Mass Storage Device");
            SetText(key.get(), L"HardwareID", hardwareId, REG_MULTI_SZ);
            SetText(key.get(), L"CompatibleIDs", hardwareId, REG_MULTI_SZ);
            SetText(key.get(), L"Service", L"USBSTOR");
            SetText(key.get(), L"ClassGUID", L"{36FC9E60-C465-11CF-8056-444553540000}");
            SetText(key.get(), L"Driver", L"{36FC9E60-C465-11CF-8056-444553540000}\\0012");
            SetText(key.get(), L"Mfg", L"Compatible USB storage device");
            DWORD flags = 0;
            RegSetValueExW(key.get(), L"ConfigFlags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flags), sizeof(flags));
            if (instance % 3 == 0)
                SetText(key.get(), L"FriendlyName", L"USB stick " + std::to_wstring(instance));
            if (instance % 10 == 0)
                SetText(key.get(), L"UpperFilters", std::wstring(L"QmBenchOther") + L'\0', REG_MULTI_SZ);
            UniqueKey parameters;
            RegCreateKeyExW(key.get(), L"Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, parameters.put(),
                            nullptr);
        }
    }
    return true;
}
