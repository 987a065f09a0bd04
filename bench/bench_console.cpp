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

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 31;
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

// The two sides alternate in order, so that drift in the machine's speed falls on
// both alike; the medians are compared.
void Compare()
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
            return TimeSeconds([&] { code = RunCommand({L"check"}, &line); });
        };
        if (round % 2) {
            p = check();
            b = TimeSeconds(BareCheck);
        } else {
            b = TimeSeconds(BareCheck);
            p = check();
        }
        if (round < 0)
            continue; // warm-up
        program.push_back(p);
        bare.push_back(b);
    }
    double programMs = Median(program) * 1e3;
    double bareMs = Median(bare) * 1e3;
    std::printf("check, sandbox class (exit %d): %6.2f ms, bare calls %6.2f ms, ratio=%.2f\n", code, programMs,
                bareMs, programMs / bareMs);
    std::printf("  its line: %ls", line.c_str());
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
        Compare();
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
