// Cost of filling ServiceInfo, next to the system calls the same query makes
// anyway (service manager, descriptions file, driver file's version resource),
// made bare, side by side on the same 50 driver services. What the program adds
// on top (path building and expansion, the language, copies) shows as the ratio.
//
// Then the cost of parking a filter as the window and the console park it, which
// asks first whether anything outside the class key uses its service (the devices'
// and classes' resulting lists included), against the same park without that
// question, on a registry whose Enum holds 3,000 more device instances, as a
// machine that has seen many USB sticks does. The first park walks Enum; beside it,
// a bare walk that reads the same values.
#include "base/handles.h"
#include "devices/filter_entries.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "services/service_info.h"
#include "bench/bench_tools.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int ServiceCount = 50;
constexpr int Rounds = 15;
const wchar_t kDriverFolder[] = L"qm_bench";

std::wstring ServiceName(int index)
{
    wchar_t name[32];
    std::swprintf(name, 32, L"QmBench%02d", index);
    return name;
}

std::wstring SystemRootFolder()
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root) + L"\\" + kDriverFolder;
}

bool ProgramQuery(const wchar_t* name)
{
    ServiceInfo info{};
    return QueryServiceInfo(name, &info);
}

// Each service is queried both ways back to back, the order alternating, so that
// drift in the machine's speed falls on both alike. Per round the mean cost of a
// query; over the rounds the median.
void Compare(const char* label, const std::vector<std::wstring>& names, const BareDescriptions& where,
             const std::wstring& driverFile)
{
    auto bareOne = [&](const std::wstring& name) {
        return TimeSeconds([&] { BareServiceQuery(name.c_str(), where, driverFile.c_str()); });
    };
    auto programOne = [](const std::wstring& name) { return TimeSeconds([&] { ProgramQuery(name.c_str()); }); };
    std::vector<double> bare;
    std::vector<double> program;
    for (int round = -1; round < Rounds; ++round) {
        double bareTotal = 0;
        double programTotal = 0;
        for (size_t i = 0; i < names.size(); ++i) {
            if ((i + static_cast<size_t>(round + 1)) % 2) {
                bareTotal += bareOne(names[i]);
                programTotal += programOne(names[i]);
            } else {
                programTotal += programOne(names[i]);
                bareTotal += bareOne(names[i]);
            }
        }
        if (round < 0)
            continue; // warm-up
        bare.push_back(bareTotal / static_cast<double>(names.size()));
        program.push_back(programTotal / static_cast<double>(names.size()));
    }
    double programCost = Median(program) * 1e6;
    double bareCost = Median(bare) * 1e6;
    std::printf("%-32s %2zu services: QueryServiceInfo %7.1f us/query, bare calls %7.1f us/query, "
                "ratio=%.2f\n",
                label, names.size(), programCost, bareCost, programCost / bareCost);
    std::fflush(stdout);
}

void RemoveServices(SC_HANDLE manager)
{
    for (int i = 0; i < ServiceCount; ++i)
        StopAndDeleteService(manager, ServiceName(i).c_str());
}

bool CreateServices(SC_HANDLE manager, const std::wstring& imagePath)
{
    for (int i = 0; i < ServiceCount; ++i) {
        std::wstring name = ServiceName(i);
        UniqueServiceHandle service(CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                   imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!service) {
            std::fprintf(stderr, "creating %ls failed: %lu\n", name.c_str(), GetLastError());
            return false;
        }
        // The first half describes itself; the second half is described by its file.
        if (i < ServiceCount / 2) {
            std::wstring text = L"Benchmark filter " + name;
            SERVICE_DESCRIPTIONW description{text.data()};
            ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
        }
    }
    return true;
}

bool WriteDescriptionsFile(const ScratchFolder& folder)
{
    std::wstring content = L"\xFEFF[en]\r\n";
    for (int i = 0; i < ServiceCount; ++i)
        content += ServiceName(i) + L"=Listed in the descriptions file\r\n";
    return folder.Write(DescriptionsFile, content.data(), content.size() * sizeof(wchar_t));
}

const wchar_t kParkedName[] = L"QmBenchPark";
constexpr int ParkRounds = 15;

// The same edits and service change as a park, without asking who else uses the service.
void BarePark(const wchar_t* name)
{
    UniqueKey key;
    if (OpenFilterClassKey(RunningMachine(), CdromClass(), FilterClassWriteAccess, key.put()) != ERROR_SUCCESS)
        return;
    MoveMultiSzEntry(key.get(), name, LowerFiltersValue, LowerFiltersRemovedValue);
    MoveMultiSzEntry(key.get(), name, UpperFiltersValue, UpperFiltersRemovedValue);
    MultiSzList list;
    ReadMultiSzValue(key.get(), LowerFiltersValue, list);
    ReadMultiSzValue(key.get(), UpperFiltersValue, list);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
    UniqueServiceHandle service(manager ? OpenServiceW(manager.get(), name, SERVICE_CHANGE_CONFIG) : nullptr);
    if (service)
        ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
}

// Calls `visit` with each subkey of `key`.
template <typename Visit>
void EachSubkey(HKEY key, Visit visit)
{
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        visit(name);
    }
}

// What the first park reads under Enum, with nothing kept: every instance's own
// filters and function driver, and its Device Parameters' parked names.
void BareEnumWalk()
{
    std::vector<BYTE> data(2048);
    auto read = [&](HKEY key, const wchar_t* value) {
        DWORD size = static_cast<DWORD>(data.size());
        RegQueryValueExW(key, value, nullptr, nullptr, data.data(), &size);
    };
    UniqueKey root;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum", 0, KEY_READ, root.put()) != ERROR_SUCCESS)
        return;
    EachSubkey(root.get(), [&](const wchar_t* enumerator) {
        UniqueKey enumeratorKey;
        if (RegOpenKeyExW(root.get(), enumerator, 0, KEY_READ, enumeratorKey.put()) != ERROR_SUCCESS)
            return;
        EachSubkey(enumeratorKey.get(), [&](const wchar_t* device) {
            UniqueKey deviceKey;
            if (RegOpenKeyExW(enumeratorKey.get(), device, 0, KEY_READ, deviceKey.put()) != ERROR_SUCCESS)
                return;
            EachSubkey(deviceKey.get(), [&](const wchar_t* instance) {
                UniqueKey key;
                if (RegOpenKeyExW(deviceKey.get(), instance, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
                    return;
                for (const wchar_t* value : {UpperFiltersValue, LowerFiltersValue, L"Service"})
                    read(key.get(), value);
                UniqueKey parameters;
                if (RegOpenKeyExW(key.get(), L"Device Parameters", 0, KEY_QUERY_VALUE, parameters.put()) !=
                    ERROR_SUCCESS)
                    return;
                read(parameters.get(), UpperFiltersRemovedValue);
                read(parameters.get(), LowerFiltersRemovedValue);
            });
        });
    });
}

// The store's park, with the registry scan for other users.
void StorePark()
{
    DeactivateFilter(RunningMachine(), CdromClass(), kParkedName);
}

// The park of the window and the console, which also asks the device installer for
// every present device's resulting lists.
void ProgramPark()
{
    DeactivateFilter(RunningMachine(), CdromClass(), kParkedName, nullptr, nullptr, DriveUsersOf);
}

// Each round restores the filter (untimed) before each park; the two parks
// alternate in order. `walk`: also time the first park against a bare walk of Enum.
void ComparePark(const char* label, void (*park)(), bool walk)
{
    std::vector<double> withScan;
    std::vector<double> without;
    double first = 0;
    for (int round = -1; round < ParkRounds; ++round) {
        double scanned = 0;
        double bare = 0;
        for (int turn = 0; turn < 2; ++turn) {
            ActivateFilter(RunningMachine(), CdromClass(), kParkedName);
            if ((turn + round) % 2)
                scanned = TimeSeconds(park);
            else
                bare = TimeSeconds([] { BarePark(kParkedName); });
        }
        if (round < 0) {
            // The first park reads every device once; later ones ask what it kept.
            first = scanned;
            continue;
        }
        withScan.push_back(scanned);
        without.push_back(bare);
    }
    double scannedCost = Median(withScan) * 1e3;
    double bareCost = Median(without) * 1e3;
    std::printf("%-32s %d devices: park %7.2f ms, without the scan %7.2f ms, ratio=%.2f\n", label,
                SeededDevices * InstancesPerDevice, scannedCost, bareCost, scannedCost / bareCost);
    if (walk) {
        std::vector<double> walks;
        for (int round = 0; round < 5; ++round)
            walks.push_back(TimeSeconds(BareEnumWalk));
        std::printf("%-32s %d devices: first park %5.0f ms, bare walk of Enum %5.0f ms, ratio=%.2f\n",
                    "first park, Enum walked", SeededDevices * InstancesPerDevice, first * 1e3,
                    Median(walks) * 1e3, first / Median(walks));
    }
    std::fflush(stdout);
}

void MeasurePark(SC_HANDLE manager, const std::wstring& imagePath)
{
    UniqueServiceHandle service(CreateServiceW(manager, kParkedName, kParkedName, SERVICE_ALL_ACCESS,
                                               SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                               imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    UniqueKey classKey;
    bool ready = service && RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, classKey.put(), nullptr) == ERROR_SUCCESS;
    if (ready && SeedDevices()) {
        // Parked first, so that each restore finds it where a park left it.
        MultiSzList parked;
        ReadMultiSzValue(classKey.get(), LowerFiltersRemovedValue, parked);
        parked.entries.emplace_back(kParkedName);
        WriteMultiSzValue(classKey.get(), LowerFiltersRemovedValue, parked);
        ComparePark("park, users scanned", StorePark, true);
        // Wine lists every instance key under Enum as a present device, so that this
        // side asks the device installer about 3,000 devices where Windows has a few
        // hundred present.
        ComparePark("park, devices asked too", ProgramPark, false);
    } else {
        std::fprintf(stderr, "cannot set the park up: %lu\n", GetLastError());
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSeedEnumerator);
    if (classKey) {
        RemoveMultiSzEntry(classKey.get(), kParkedName, LowerFiltersValue);
        RemoveMultiSzEntry(classKey.get(), kParkedName, LowerFiltersRemovedValue);
    }
    if (service)
        DeleteService(service.get());
}

} // namespace

int wmain()
{
    UniqueServiceHandle manager = OpenBenchServiceManager();
    if (!manager)
        return 1;

    // Work where no descriptions file lies, as most users do.
    ScratchCurrentDirectory scratch(L"bench-cwd");

    std::wstring folder = SystemRootFolder();
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring driver = folder + L"\\qmbench.sys";
    bool ready = CopyFileW(PathBesideBench(L"..\\tests\\services\\qm_version_full.sys").c_str(), driver.c_str(), FALSE);
    if (!ready)
        std::fprintf(stderr, "cannot place the driver file: %lu\n", GetLastError());
    RemoveServices(manager.get());
    ready = ready && CreateServices(manager.get(), L"\\SystemRoot\\" + std::wstring(kDriverFolder) + L"\\qmbench.sys");

    if (ready) {
        std::vector<std::wstring> all;
        for (int i = 0; i < ServiceCount; ++i)
            all.push_back(ServiceName(i));
        std::vector<std::wstring> described(all.begin(), all.begin() + ServiceCount / 2);
        std::vector<std::wstring> fromFile(all.begin() + ServiceCount / 2, all.end());

        BareDescriptions where = BareDescriptionsHere();
        Compare("own description", described, where, driver);
        Compare("driver file's version resource", fromFile, where, driver);
        Compare("all, no descriptions file", all, where, driver);
        if (WriteDescriptionsFile(scratch))
            Compare("all, from descriptions.ini", all, where, driver);
        MeasurePark(manager.get(), L"\\SystemRoot\\" + std::wstring(kDriverFolder) + L"\\qmbench.sys");
    }

    RemoveServices(manager.get());
    DeleteFileW(driver.c_str());
    RemoveDirectoryW(folder.c_str());
    return ready ? 0 : 1;
}
