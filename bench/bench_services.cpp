// Cost of filling ServiceInfo, next to the system calls the same query makes
// anyway (service manager, descriptions file, driver file's version resource),
// made bare, side by side on the same 50 driver services. What the program adds
// on top (path building and expansion, the language, copies) shows as the ratio.
#include "base/handles.h"
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
    for (int i = 0; i < ServiceCount; ++i) {
        UniqueServiceHandle service(OpenServiceW(manager, ServiceName(i).c_str(), DELETE));
        if (service)
            DeleteService(service.get());
    }
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

bool WriteDescriptionsFile(const std::wstring& folder)
{
    std::wstring content = L"\xFEFF[en]\r\n";
    for (int i = 0; i < ServiceCount; ++i)
        content += ServiceName(i) + L"=Listed in the descriptions file\r\n";
    UniqueHandle file(CreateFileW((folder + L"\\" + DescriptionsFile).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    DWORD written = 0;
    DWORD bytes = static_cast<DWORD>(content.size() * sizeof(wchar_t));
    return WriteFile(file.get(), content.data(), bytes, &written, nullptr) && written == bytes;
}

} // namespace

int wmain()
{
    if (!BenchRunningUnderWine()) {
        std::fprintf(stderr, "This benchmark creates services; it runs only under Wine.\n");
        return 1;
    }
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        std::fprintf(stderr, "no service manager: %lu\n", GetLastError());
        return 1;
    }

    // Work where no descriptions file lies, as most users do.
    ScratchCurrentDirectory scratch(L"qm_bench_cwd");

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
        if (WriteDescriptionsFile(scratch.path()))
            Compare("all, from descriptions.ini", all, where, driver);
    }

    RemoveServices(manager.get());
    DeleteFileW(driver.c_str());
    RemoveDirectoryW(folder.c_str());
    return ready ? 0 : 1;
}
