// Cost of filling the filter list with 50 rows (running, stopped and missing
// services, half of them described in descriptions.ini), next to the system calls
// the same rows' queries make anyway (service manager, descriptions file, driver
// files' version resources), made bare, measured side by side. What the program
// adds on top (registry reads, the rows themselves, state texts) shows as the ratio.
#include "base/handles.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "bench/bench_tools.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"

#include <commctrl.h>

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
    for (int i = 0; i < FilterCount; ++i) {
        UniqueServiceHandle service(OpenServiceW(manager, FilterName(i).c_str(), SERVICE_STOP | DELETE));
        if (!service)
            continue;
        SERVICE_STATUS status{};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        DeleteService(service.get());
    }
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

bool WriteDescriptionsFile(const std::wstring& folder)
{
    std::string content = "[en]\r\n";
    for (int i = 0; i < FilterCount; i += 2) {
        std::wstring name = FilterName(i);
        content += std::string(name.begin(), name.end()) + "=Described in the descriptions file\r\n";
    }
    UniqueHandle file(CreateFileW((folder + L"\\descriptions.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

INT_PTR CALLBACK HostProc(HWND, UINT message, WPARAM, LPARAM lParam)
{
    // Rows free their name copies through the list's delete notifications.
    if (message == WM_NOTIFY)
        return HandleFilterListNotify(reinterpret_cast<NMHDR*>(lParam));
    return 0;
}

void Measure(HWND list)
{
    std::vector<std::wstring> names;
    std::vector<std::wstring> files;
    for (int i = 0; i < FilterCount; ++i) {
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
    std::printf("PopulateFilterList %d rows (running, stopped, missing): %7.1f ms/fill, bare calls "
                "%7.1f ms, ratio=%.2f\n",
                rows, programMs, managerMs, programMs / managerMs);
    std::fflush(stdout);
}

} // namespace

int wmain()
{
    if (!BenchRunningUnderWine()) {
        std::fprintf(stderr, "This benchmark creates services and edits the class key; it runs only under Wine.\n");
        return 1;
    }
    InitCommonControls();
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    UniqueKey key;
    if (!manager || RegCreateKeyExW(HKEY_LOCAL_MACHINE, FilterClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "no service manager or class key: %lu\n", GetLastError());
        return 1;
    }

    ScratchCurrentDirectory scratch(L"qm_bench_fill");

    RemoveServices(manager.get());
    bool ready = CreateServices(manager.get()) && WriteDescriptionsFile(scratch.path());
    if (ready) {
        for (const wchar_t* value :
             {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue, UpperFiltersRemovedValue})
            RegDeleteValueW(key.get(), value);
        WriteFilterValues(key.get());
        HWND host = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, HostProc, 0);
        HWND list = GetDlgItem(host, IDC_FILTER_LIST);
        SetUpFilterList(list);
        Measure(list);
        DestroyWindow(host);
        RegDeleteValueW(key.get(), LowerFiltersValue);
        RegDeleteValueW(key.get(), UpperFiltersValue);
    }

    RemoveServices(manager.get());
    return ready ? 0 : 1;
}
