// Cost of the console companion's `check` on a class key like the sandbox's (two
// upper filters, one lower, one parked; one service runs, one is a stopped driver
// without its file, one is missing), next to the calls it cannot do without, made
// bare: the CD-ROM class's device set, the class key's four values, and per active
// filter what the service manager and the driver file tell. What the companion
// adds (the drives' own read of the active values, the rules, the line) shows as
// the ratio.
#include "app/console_commands.h"
#include "base/handles.h"
#include "bench/bench_tools.h"
#include "devices/device_installer.h"
#include "filters/filter_registry.h"

#include <cfgmgr32.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int Rounds = 31;
const wchar_t kRunning[] = L"QmBenchCatalog";
const wchar_t kStopped[] = L"QmBenchTray"; // its driver file is not there
const wchar_t kMissing[] = L"QmBenchBridge";
const wchar_t kParked[] = L"QmBenchRip";
const wchar_t* const kValues[] = {LowerFiltersValue, LowerFiltersRemovedValue, UpperFiltersValue,
                                  UpperFiltersRemovedValue};

// The names a value holds, read as the system would: size, then data.
std::vector<std::wstring> BareNames(HKEY key, const wchar_t* value)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, value, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
    std::vector<std::wstring> names;
    for (const wchar_t* name = data.data(); *name; name += names.back().size() + 1)
        names.emplace_back(name);
    return names;
}

// Whether a driver can load, as far as its service tells: state, configuration,
// and for a kernel driver whether its file is there.
void BareCondition(const std::wstring& name)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), name.c_str(), GENERIC_READ) : nullptr);
    if (!service)
        return;
    SERVICE_STATUS status{};
    QueryServiceStatus(service.get(), &status);
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    UniqueHeapBlock block = AllocateHeapBlock(needed);
    auto* config = static_cast<QUERY_SERVICE_CONFIGW*>(block.get());
    if (!QueryServiceConfigW(service.get(), config, needed, &needed) || !(config->dwServiceType & SERVICE_DRIVER))
        return;
    wchar_t path[MAX_PATH] = {};
    UINT length = GetSystemWindowsDirectoryW(path, MAX_PATH);
    // A folder that does not fit comes back as the size it would need.
    if (length == 0 || length >= MAX_PATH || !config->lpBinaryPathName)
        return;
    std::swprintf(path + length, MAX_PATH - length, L"\\%ls", config->lpBinaryPathName);
    GetFileAttributesW(path);
}

void BareCheck()
{
    HDEVINFO set = SetupDiGetClassDevsW(&CdromClass().guid, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    }
    if (set != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(set);
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> active;
    for (const wchar_t* value : kValues) {
        std::vector<std::wstring> names = BareNames(key.get(), value);
        if (value == LowerFiltersValue || value == UpperFiltersValue)
            active.insert(active.end(), names.begin(), names.end());
    }
    for (const std::wstring& name : active)
        BareCondition(name);
}

// A string-list device property, read bare.
void BareDeviceList(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key)
{
    BYTE data[2048];
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    SetupDiGetDevicePropertyW(set, device, key, &type, data, sizeof(data), &size, 0);
}

// Whether the property holds more than an empty text or list.
bool BareText(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    BYTE data[2048];
    DWORD size = 0;
    return SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, data, sizeof(data), &size) &&
           size > 2 * sizeof(wchar_t);
}

// What `check --all-classes` cannot do without, made bare: every present device's
// own filters, every class key's four values, and for each class with filters its
// present devices as the health read asks them, its values again for the entries,
// and the condition of each filter in force.
void BareAllClassesCheck()
{
    HDEVINFO all = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    // The classes whose devices carry filters of their own are gone over too.
    std::vector<GUID> withOwn;
    for (DWORD index = 0; all != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(all, index, &device); ++index) {
        bool own = BareText(all, &device, SPDRP_UPPERFILTERS);
        own = BareText(all, &device, SPDRP_LOWERFILTERS) || own;
        if (own && std::none_of(withOwn.begin(), withOwn.end(),
                                [&](const GUID& known) { return IsEqualGUID(known, device.ClassGuid); }))
            withOwn.push_back(device.ClassGuid);
    }
    if (all != INVALID_HANDLE_VALUE)
        SetupDiDestroyDeviceInfoList(all);

    UniqueKey classes;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Class", 0, KEY_READ, classes.put()) !=
        ERROR_SUCCESS)
        return;
    wchar_t subkey[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(classes.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        UniqueKey key;
        GUID guid{};
        if (CLSIDFromString(subkey, &guid) != NOERROR ||
            RegOpenKeyExW(classes.get(), subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            continue;
        std::vector<std::wstring> active;
        bool listed = false;
        for (const wchar_t* value : kValues) {
            DWORD size = 0;
            listed = listed || RegQueryValueExW(key.get(), value, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
            std::vector<std::wstring> names = BareNames(key.get(), value);
            if (value == LowerFiltersValue || value == UpperFiltersValue)
                active.insert(active.end(), names.begin(), names.end());
        }
        if (!listed && std::none_of(withOwn.begin(), withOwn.end(),
                                    [&](const GUID& known) { return IsEqualGUID(known, guid); }))
            continue;
        HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT);
        for (DWORD at = 0; set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, at, &device); ++at) {
            ULONG status = 0;
            ULONG problem = 0;
            CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
            for (DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_UPPERFILTERS, SPDRP_LOWERFILTERS, SPDRP_SERVICE})
                BareText(set, &device, property);
            wchar_t id[MAX_DEVICE_ID_LEN + 1];
            SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN + 1, nullptr);
            HKEY parameters = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            if (parameters != INVALID_HANDLE_VALUE) {
                BareNames(parameters, UpperFiltersRemovedValue);
                BareNames(parameters, LowerFiltersRemovedValue);
                RegCloseKey(parameters);
            }
            BareDeviceList(set, &device, &CompoundLowerFiltersKey);
            BareDeviceList(set, &device, &CompoundUpperFiltersKey);
        }
        if (set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(set);
        for (const wchar_t* value : kValues)
            BareNames(key.get(), value);
        for (const std::wstring& name : active)
            BareCondition(name);
    }
}

// Another installation's registry, as `check --offline` meets it: a hive file in
// Wine's format under a Windows folder, with a CD/DVD class key like the sandbox's
// (a filter whose file is there, one whose service is missing, one whose file is
// gone), the keyboards' own filter, a dozen classes without filters, and 3,000
// device instances under Enum.
const wchar_t kOfflineClasses[][40] = {
    L"{4D36E965-E325-11CE-BFC1-08002BE10318}", L"{4D36E96B-E325-11CE-BFC1-08002BE10318}",
    L"{4D36E967-E325-11CE-BFC1-08002BE10318}", L"{4D36E968-E325-11CE-BFC1-08002BE10318}",
    L"{4D36E96A-E325-11CE-BFC1-08002BE10318}", L"{4D36E96F-E325-11CE-BFC1-08002BE10318}",
    L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"{4D36E97B-E325-11CE-BFC1-08002BE10318}",
    L"{4D36E97D-E325-11CE-BFC1-08002BE10318}", L"{36FC9E60-C465-11CF-8056-444553540000}",
    L"{71A27CDD-812A-11D0-BEC7-08002BE2092F}", L"{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}",
    L"{50DD5230-BA8A-11D1-BF5D-0000F805F530}",
};

bool WriteOfflineHive(const std::wstring& windows)
{
    for (const wchar_t* below : {L"", L"\\System32", L"\\System32\\config", L"\\System32\\drivers"})
        CreateDirectoryW((windows + below).c_str(), nullptr);
    FILE* driver = _wfopen((windows + L"\\System32\\drivers\\qmoffok.sys").c_str(), L"wb");
    if (driver)
        std::fclose(driver);
    FILE* out = _wfopen((windows + L"\\System32\\config\\SYSTEM").c_str(), L"wb");
    if (!out)
        return false;
    std::fputs("WINE REGISTRY Version 2\n\n[Select] 1700000000\n\"Current\"=dword:00000001\n", out);
    const char* const filters[] = {"\"UpperFilters\"=str(7):\"QmOffOk\\0QmOffGone\\0\"\n"
                                   "\"LowerFilters\"=str(7):\"QmOffStale\\0\"\n",
                                   "\"UpperFilters\"=str(7):\"kbdclass\\0\"\n"};
    int index = 0;
    for (const wchar_t* guid : kOfflineClasses) {
        std::string name = index == 0 ? "CDROM" : index == 1 ? "Keyboard" : "Class" + std::to_string(index);
        std::fprintf(out, "\n[ControlSet001\\\\Control\\\\Class\\\\%ls] 1700000000\n\"Class\"=\"%s\"\n%s", guid,
                     name.c_str(), index < 2 ? filters[index] : "");
        ++index;
    }
    std::fputs("\n[ControlSet001\\\\Services\\\\QmOffOk] 1700000000\n\"Type\"=dword:00000001\n"
               "\"Start\"=dword:00000003\n\"ImagePath\"=str(2):\"System32\\\\drivers\\\\qmoffok.sys\"\n"
               "\n[ControlSet001\\\\Services\\\\QmOffStale] 1700000000\n\"Type\"=dword:00000001\n"
               "\"Start\"=dword:00000003\n"
               "\n[ControlSet001\\\\Services\\\\kbdclass] 1700000000\n\"Type\"=dword:00000001\n"
               "\"Start\"=dword:00000003\n",
               out);
    for (int device = 0; device < SeededDevices; ++device)
        for (int instance = 0; instance < InstancesPerDevice; ++instance) {
            std::fprintf(out,
                         "\n[ControlSet001\\\\Enum\\\\USB\\\\VID_%04X&PID_%04X\\\\%08d] 1700000000\n"
                         "\"DeviceDesc\"=\"USB Mass Storage Device\"\n"
                         "\"HardwareID\"=str(7):\"USB\\\\VID_%04X&PID_%04X\\0USB\\\\Class_08\\0\"\n"
                         "\"Service\"=\"USBSTOR\"\n\"ClassGUID\"=\"{36FC9E60-C465-11CF-8056-444553540000}\"\n"
                         "\"ConfigFlags\"=dword:00000000\n%s",
                         0x1000 + device, device, instance, 0x1000 + device, device,
                         instance % 10 == 0 ? "\"UpperFilters\"=str(7):\"QmBenchOther\\0\"\n" : "");
        }
    bool written = std::ferror(out) == 0;
    return std::fclose(out) == 0 && written;
}

const wchar_t kBareHive[] = L"QmBenchBareHive";
std::wstring offlineWindows;

// What `check --offline` cannot do without, made bare: the privileges a load needs,
// the hive's load and unload, its Select key, every class key's four values, and for the classes with filters
// the values again and each filter's service key and driver file.
void BareOfflineCheck()
{
    std::wstring hive = offlineWindows + L"\\System32\\config\\SYSTEM";
    EnableHivePrivileges();
    if (RegLoadKeyW(HKEY_LOCAL_MACHINE, kBareHive, hive.c_str()) != ERROR_SUCCESS)
        return;
    {
        std::wstring root = kBareHive;
        UniqueKey select;
        DWORD current = 0;
        DWORD size = sizeof(current);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (root + L"\\Select").c_str(), 0, KEY_READ, select.put()) == ERROR_SUCCESS)
            RegQueryValueExW(select.get(), L"Current", nullptr, nullptr, reinterpret_cast<BYTE*>(&current), &size);
        std::wstring set = root + L"\\ControlSet001";
        UniqueKey classes;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (set + L"\\Control\\Class").c_str(), 0, KEY_READ, classes.put()) ==
            ERROR_SUCCESS) {
            wchar_t subkey[256];
            for (DWORD index = 0;; ++index) {
                DWORD length = 256;
                if (RegEnumKeyExW(classes.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                UniqueKey key;
                GUID guid{};
                if (CLSIDFromString(subkey, &guid) != NOERROR ||
                    RegOpenKeyExW(classes.get(), subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
                    continue;
                std::vector<std::wstring> active;
                for (const wchar_t* value : kValues) {
                    std::vector<std::wstring> names = BareNames(key.get(), value);
                    if (value == LowerFiltersValue || value == UpperFiltersValue)
                        active.insert(active.end(), names.begin(), names.end());
                }
                if (active.empty())
                    continue;
                for (const wchar_t* value : kValues)
                    BareNames(key.get(), value);
                for (const std::wstring& name : active) {
                    UniqueKey service;
                    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (set + L"\\Services\\" + name).c_str(), 0, KEY_READ,
                                      service.put()) != ERROR_SUCCESS)
                        continue;
                    BYTE data[1024];
                    for (const wchar_t* value : {L"Type", L"Start", L"ImagePath"}) {
                        DWORD got = sizeof(data);
                        RegQueryValueExW(service.get(), value, nullptr, nullptr, data, &got);
                    }
                    GetFileAttributesW((offlineWindows + L"\\System32\\drivers\\" + name + L".sys").c_str());
                }
            }
        }
    }
    RegUnLoadKeyW(HKEY_LOCAL_MACHINE, kBareHive);
}

// The two sides alternate in order, so that drift in the machine's speed falls on
// both alike; the medians are compared.
void Compare(const char* label, const std::vector<std::wstring>& arguments, void (*bareCheck)())
{
    std::wstring line;
    int code = -1;
    std::vector<double> program;
    std::vector<double> bare;
    for (int round = -1; round < Rounds; ++round) {
        double p = 0;
        double b = 0;
        auto check = [&] {
            line.clear();
            return TimeSeconds([&] { code = RunCommand(arguments, &line); });
        };
        if (round % 2) {
            p = check();
            b = TimeSeconds(bareCheck);
        } else {
            b = TimeSeconds(bareCheck);
            p = check();
        }
        if (round < 0)
            continue; // warm-up
        program.push_back(p);
        bare.push_back(b);
    }
    double programMs = Median(program) * 1e3;
    double bareMs = Median(bare) * 1e3;
    std::printf("%s (exit %d): %6.2f ms, bare calls %6.2f ms, ratio=%.2f\n", label, code, programMs, bareMs,
                programMs / bareMs);
    // A line over every class can be long; its start tells enough.
    std::printf("  its line: %ls%ls\n", line.substr(0, 160).c_str(), line.size() > 161 ? L"\x2026" : L"");
    std::fflush(stdout);
}

void RemoveServices(SC_HANDLE manager)
{
    for (const wchar_t* name : {kRunning, kStopped, kParked})
        StopAndDeleteService(manager, name);
}

bool CreateServices(SC_HANDLE manager)
{
    std::wstring program = L"\"" + PathBesideBench(L"..\\tests\\qm_demo_service.exe") + L"\"";
    struct {
        const wchar_t* name;
        DWORD type;
        DWORD start;
        std::wstring path;
    } services[] = {
        {kRunning, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, program},
        {kStopped, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, L"System32\\drivers\\qmbenchtray.sys"},
        {kParked, SERVICE_KERNEL_DRIVER, SERVICE_DISABLED, L"System32\\drivers\\qmbenchrip.sys"},
    };
    for (const auto& entry : services) {
        UniqueServiceHandle service(CreateServiceW(manager, entry.name, entry.name, SERVICE_ALL_ACCESS, entry.type,
                                                   entry.start, SERVICE_ERROR_NORMAL, entry.path.c_str(), nullptr,
                                                   nullptr, nullptr, nullptr, nullptr));
        if (!service || (entry.name == kRunning && !StartServiceW(service.get(), 0, nullptr))) {
            std::fprintf(stderr, "preparing %ls failed: %lu\n", entry.name, GetLastError());
            return false;
        }
    }
    return true;
}

void WriteNames(HKEY key, const wchar_t* value, std::initializer_list<const wchar_t*> names)
{
    std::wstring data;
    for (const wchar_t* name : names)
        data += std::wstring(name) + L'\0';
    data += L'\0';
    RegSetValueExW(key, value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

// The class key's four values as they were, put back afterwards.
struct SavedValue {
    const wchar_t* name = nullptr;
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

} // namespace

int wmain()
{
    UniqueServiceHandle manager = OpenBenchServiceManager();
    if (!manager)
        return 1;
    UniqueKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "no class key: %lu\n", GetLastError());
        return 1;
    }
    std::vector<SavedValue> saved;
    for (const wchar_t* value : kValues) {
        SavedValue entry;
        entry.name = value;
        DWORD size = 0;
        entry.present = RegQueryValueExW(key.get(), value, nullptr, &entry.type, nullptr, &size) == ERROR_SUCCESS;
        entry.data.resize(size);
        if (entry.present)
            RegQueryValueExW(key.get(), value, nullptr, &entry.type, entry.data.data(), &size);
        saved.push_back(entry);
    }

    RemoveServices(manager.get());
    if (CreateServices(manager.get())) {
        WriteNames(key.get(), UpperFiltersValue, {kRunning, kMissing});
        WriteNames(key.get(), LowerFiltersValue, {kStopped});
        WriteNames(key.get(), LowerFiltersRemovedValue, {kParked});
        RegDeleteValueW(key.get(), UpperFiltersRemovedValue);
        Compare("check, sandbox class", {L"check"}, BareCheck);
        // Every class Wine has, with the same class key, on a registry whose Enum
        // holds 3,000 more device instances.
        if (SeedDevices()) {
            Rounds = 5;
            Compare("check --all-classes, 3000 devices", {L"check", L"--all-classes"}, BareAllClassesCheck);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSeedEnumerator);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSeedEnumerator);
        // Another installation's registry, loaded for each check.
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        std::wstring folder = std::wstring(temp) + L"qm-bench-offline";
        offlineWindows = folder + L"\\Windows";
        CreateDirectoryW(folder.c_str(), nullptr);
        if (WriteOfflineHive(offlineWindows)) {
            Rounds = 9;
            Compare("check --offline --all-classes, hive with 3000 devices",
                    {L"--offline", offlineWindows, L"check", L"--all-classes"}, BareOfflineCheck);
        } else {
            std::fprintf(stderr, "cannot write the offline hive under %ls\n", offlineWindows.c_str());
        }
        RemoveFolderTree(folder);
    }
    RemoveServices(manager.get());

    for (const SavedValue& value : saved) {
        if (value.present)
            RegSetValueExW(key.get(), value.name, 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        else
            RegDeleteValueW(key.get(), value.name);
    }
    return 0;
}
