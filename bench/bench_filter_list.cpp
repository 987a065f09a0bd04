// Cost of filling the filter list with 50 rows (running, stopped and missing
// services, half of them described in descriptions.ini), next to the system calls
// the same rows' queries make anyway (service manager, descriptions file, driver
// files' version resources), made bare, measured side by side. What the program
// adds on top (registry reads, the rows themselves, state texts) shows as the ratio.
//
// Then the same with two CD/DVD drives of three filters of their own each, whose
// rows the fill reads through the device installer, beside the installer calls
// those reads make, bare.
#include "base/handles.h"
#include "devices/device_installer.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "bench/bench_tools.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"

#include <cfgmgr32.h>
#include <commctrl.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int FilterCount = 50;
constexpr int Rounds = 10;

enum class Kind { Running, Stopped, Missing };

Kind KindOf(int index)
{
    return index % 3 == 0 ? Kind::Running : index % 3 == 1 ? Kind::Stopped : Kind::Missing;
}

std::wstring FilterName(int index)
{
    wchar_t name[32];
    std::swprintf(name, 32, L"QmFill%02d", index);
    return name;
}

std::wstring ProgramImagePath()
{
    return L"\"" + PathBesideBench(L"..\\tests\\qm_demo_service.exe") + L"\"";
}

// The stopped services' driver file, which does not exist.
constexpr wchar_t DriverUnderRoot[] = L"\\system32\\drivers\\qmfill.sys";

// The file whose version resource a row's query reads when nothing else describes
// it: the configured path with \SystemRoot expanded, quotes and all.
std::wstring QueriedFile(int index)
{
    if (KindOf(index) == Kind::Running)
        return ProgramImagePath();
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return root + std::wstring(DriverUnderRoot);
}

void RemoveServices(SC_HANDLE manager)
{
    for (int i = 0; i < FilterCount; ++i)
        StopAndDeleteService(manager, FilterName(i).c_str());
}

bool CreateServices(SC_HANDLE manager)
{
    std::wstring program = ProgramImagePath();
    std::wstring driver = std::wstring(L"\\SystemRoot") + DriverUnderRoot;
    for (int i = 0; i < FilterCount; ++i) {
        Kind kind = KindOf(i);
        if (kind == Kind::Missing)
            continue;
        std::wstring name = FilterName(i);
        bool running = kind == Kind::Running;
        UniqueServiceHandle service(CreateServiceW(
            manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
            running ? SERVICE_WIN32_OWN_PROCESS : SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
            running ? program.c_str() : driver.c_str(), nullptr, nullptr, nullptr,
            nullptr, nullptr));
        if (!service || (running && !StartServiceW(service.get(), 0, nullptr))) {
            std::fprintf(stderr, "preparing %ls failed: %lu\n", name.c_str(), GetLastError());
            return false;
        }
    }
    return true;
}

void WriteFilterValues(HKEY key)
{
    for (int group = 0; group < 2; ++group) {
        std::vector<wchar_t> data;
        for (int i = group * FilterCount / 2; i < (group + 1) * FilterCount / 2; ++i) {
            std::wstring name = FilterName(i);
            data.insert(data.end(), name.begin(), name.end());
            data.push_back(L'\0');
        }
        data.push_back(L'\0');
        RegSetValueExW(key, group ? UpperFiltersValue : LowerFiltersValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    }
}

bool WriteDescriptionsFile(const ScratchFolder& folder)
{
    std::string content = "[en]\r\n";
    for (int i = 0; i < FilterCount; i += 2) {
        std::wstring name = FilterName(i);
        content += std::string(name.begin(), name.end()) + "=Described in the descriptions file\r\n";
    }
    return folder.Write(L"descriptions.ini", content.data(), content.size());
}

constexpr int DriveCount = 2;
constexpr int OwnFilters = 3;

std::wstring DriveId(int drive)
{
    return L"ROOT\\CDROM\\QMBENCHDRIVE" + std::to_wstring(drive);
}

// Registered (or, with `remove`, removed again) with the filters of the first rows
// as their own: drive d carries rows 3d to 3d+2.
bool SetUpDrives(bool remove)
{
    bool ok = true;
    for (int drive = 0; drive < DriveCount; ++drive) {
        HDEVINFO set = SetupDiCreateDeviceInfoList(&CdromClass().guid, nullptr);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (SetupDiOpenDeviceInfoW(set, DriveId(drive).c_str(), nullptr, 0, &device))
            SetupDiRemoveDevice(set, &device);
        if (!remove) {
            std::wstring list;
            for (int i = 0; i < OwnFilters; ++i)
                list += FilterName(drive * OwnFilters + i) + L'\0';
            list += L'\0';
            std::wstring name = L"Bench DVD drive " + std::to_wstring(drive);
            ok = ok && SetupDiCreateDeviceInfoW(set, DriveId(drive).c_str(), &CdromClass().guid, nullptr, nullptr, 0,
                                                &device) &&
                 SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
                 SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME,
                                                   reinterpret_cast<const BYTE*>(name.c_str()),
                                                   static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))) &&
                 SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_UPPERFILTERS,
                                                   reinterpret_cast<const BYTE*>(list.data()),
                                                   static_cast<DWORD>(list.size() * sizeof(wchar_t)));
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    return ok;
}

void BareProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property)
{
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, nullptr, 0, &size);
    std::vector<BYTE> data(size ? size : 2);
    SetupDiGetDeviceRegistryPropertyW(set, device, property, nullptr, data.data(), size, &size);
}

// The installer and registry calls the fill makes for the drives: the drives of the
// setup class, each one's state, name, id, own filters, parking values and resulting
// lists, and the class key's active values beside which a drive's rows are judged.
void BareDriveReads()
{
    static const DEVPROPKEY* const resulting[2] = {&CompoundLowerFiltersKey, &CompoundUpperFiltersKey};
    HDEVINFO set = SetupDiGetClassDevsW(&CdromClass().guid, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        ULONG status = 0;
        ULONG problem = 0;
        CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
        BareProperty(set, &device, SPDRP_FRIENDLYNAME);
        wchar_t id[MAX_DEVICE_ID_LEN + 1];
        SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN + 1, nullptr);
        HKEY parameters = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        for (int level = 0; level < 2; ++level) {
            BareProperty(set, &device, level ? SPDRP_UPPERFILTERS : SPDRP_LOWERFILTERS);
            DEVPROPTYPE type = 0;
            DWORD size = 0;
            SetupDiGetDevicePropertyW(set, &device, resulting[level], &type, nullptr, 0, &size, 0);
        }
        if (parameters != INVALID_HANDLE_VALUE)
            RegCloseKey(parameters);
    }
    SetupDiDestroyDeviceInfoList(set);
    UniqueKey key;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, KEY_READ, key.put());
    for (const wchar_t* value : {LowerFiltersValue, UpperFiltersValue}) {
        DWORD size = 0;
        RegQueryValueExW(key.get(), value, nullptr, nullptr, nullptr, &size);
        std::vector<BYTE> data(size ? size : 2);
        RegQueryValueExW(key.get(), value, nullptr, nullptr, data.data(), &size);
    }
}

INT_PTR CALLBACK HostProc(HWND, UINT message, WPARAM, LPARAM lParam)
{
    // Rows free their name copies through the list's delete notifications.
    if (message == WM_NOTIFY)
        return HandleFilterListNotify(reinterpret_cast<NMHDR*>(lParam));
    return 0;
}

void Measure(HWND list, const char* what, bool drives)
{
    std::vector<std::wstring> names;
    std::vector<std::wstring> files;
    for (int i = 0; i < FilterCount; ++i) {
        names.push_back(FilterName(i));
        files.push_back(QueriedFile(i));
    }
    // A drive's own rows are queried like the class's.
    for (int i = 0; drives && i < DriveCount * OwnFilters; ++i) {
        names.push_back(FilterName(i));
        files.push_back(QueriedFile(i));
    }
    BareDescriptions where = BareDescriptionsHere();
    auto fill = [list] {
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        return TimeSeconds([list] { PopulateFilterList(list); });
    };
    auto bare = [&] {
        return TimeSeconds([&] {
            for (size_t i = 0; i < names.size(); ++i)
                BareServiceQuery(names[i].c_str(), where, files[i].c_str());
            BareDriveReads();
        });
    };
    std::vector<double> program;
    std::vector<double> manager;
    for (int round = -1; round < Rounds; ++round) {
        double p = 0;
        double m = 0;
        if (round % 2) {
            p = fill();
            m = bare();
        } else {
            m = bare();
            p = fill();
        }
        if (round < 0)
            continue; // warm-up
        program.push_back(p);
        manager.push_back(m);
    }
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    double programMs = Median(program) * 1e3;
    double managerMs = Median(manager) * 1e3;
    std::printf("PopulateFilterList %d rows (%s): %7.1f ms/fill, bare calls %7.1f ms, ratio=%.2f\n", rows, what,
                programMs, managerMs, programMs / managerMs);
    std::fflush(stdout);
}

} // namespace

int wmain()
{
    UniqueServiceHandle manager = OpenBenchServiceManager();
    if (!manager)
        return 1;
    InitCommonControls();
    UniqueKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "no class key: %lu\n", GetLastError());
        return 1;
    }

    ScratchCurrentDirectory scratch(L"bench-fill");

    RemoveServices(manager.get());
    bool ready = CreateServices(manager.get()) && WriteDescriptionsFile(scratch);
    if (ready) {
        for (const wchar_t* value :
             {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue, UpperFiltersRemovedValue})
            RegDeleteValueW(key.get(), value);
        WriteFilterValues(key.get());
        HWND host = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, HostProc, 0);
        HWND list = GetDlgItem(host, IDC_FILTER_LIST);
        SetUpFilterList(list);
        Measure(list, "running, stopped, missing", false);
        if (SetUpDrives(false))
            Measure(list, "and 2 drives of 3 own filters", true);
        else
            std::fprintf(stderr, "cannot register the drives: %lu\n", GetLastError());
        SetUpDrives(true);
        DestroyWindow(host);
        RegDeleteValueW(key.get(), LowerFiltersValue);
        RegDeleteValueW(key.get(), UpperFiltersValue);
    }

    RemoveServices(manager.get());
    return ready ? 0 : 1;
}
