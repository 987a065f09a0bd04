// A service manager that cannot be reached: each query shows the system's text for
// the error in an error box and leaves the caller's record alone, and "Fix problems
// automatically" parks nothing whose state it could not learn.
//
// The manager is made unreachable for real by ending Wine's services.exe. That ends
// every service of the running Wine session as well, so this check is a program of
// its own: once it exits, the next program of the prefix starts a fresh session
// with a new service manager.
#include "app/console_commands.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "services/driver_status.h"
#include "services/service_info.h"
#include "support/wine_tools.h"
#include "ui/filter_list.h"
#include "ui/filter_operations.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct BoxSeen {
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
};

bool EndServiceManagerProcess()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    DWORD id = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, L"services.exe") == 0)
            id = entry.th32ProcessID;
    CloseHandle(snapshot);
    if (id == 0)
        return true; // already ended by an earlier test of this program
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process)
        return false;
    bool ended = TerminateProcess(process, 1) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

std::wstring SystemText(DWORD code)
{
    wchar_t text[1024] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  text, 1024, nullptr);
    std::wstring result(text, length);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    return result;
}

BOOL CALLBACK ReadBoxPart(HWND child, LPARAM context)
{
    auto* seen = reinterpret_cast<BoxSeen*>(context);
    wchar_t className[32] = {};
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Static") != 0)
        return TRUE;
    if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        seen->icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    } else {
        wchar_t text[1024] = {};
        GetWindowTextW(child, text, 1024);
        if (text[0])
            seen->text = text;
    }
    return TRUE;
}

struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == search->process && lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Reads every error box this process shows and answers it with OK, until told to stop.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Run(); }) {}
    ~BoxWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    const std::vector<BoxSeen>& Stop()
    {
        stop_ = true;
        thread_.join();
        thread_ = std::thread([] {});
        return seen_;
    }

private:
    void Run()
    {
        while (!stop_) {
            BoxSearch search{GetCurrentProcessId(), nullptr};
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
            if (!search.found) {
                Sleep(20);
                continue;
            }
            BoxSeen seen;
            wchar_t caption[256] = {};
            GetWindowTextW(search.found, caption, 256);
            seen.caption = caption;
            EnumChildWindows(search.found, ReadBoxPart, reinterpret_cast<LPARAM>(&seen));
            seen_.push_back(seen);
            PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            for (int i = 0; i < 250 && IsWindow(search.found); ++i)
                Sleep(20);
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<BoxSeen> seen_;
    std::thread thread_;
};

TEST(ServiceManagerGone, EachQueryShowsTheSystemsTextAndChangesNothing)
{
    ASSERT_TRUE(EndServiceManagerProcess());
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
    DWORD error = GetLastError();
    if (manager) {
        CloseServiceHandle(manager);
        GTEST_SKIP() << "Wine brought its service manager back at once";
    }
    std::wstring expectedText = SystemText(error);
    ASSERT_FALSE(expectedText.empty()) << "no system text for error " << error;

    ServiceInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    ServiceInfo before = info;
    std::vector<BoxSeen> boxes;
    {
        BoxWatcher watcher;
        // mountmgr exists in every prefix; unreachable, it must look like nothing.
        EXPECT_FALSE(QueryServiceInfo(L"mountmgr", &info));
        EXPECT_FALSE(QueryServiceInfo(L"QmNoSuchService", &info));
        boxes = watcher.Stop();
    }
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0) << "the record was written";

    ASSERT_EQ(boxes.size(), 2u) << "one box per query";
    for (const BoxSeen& box : boxes) {
        EXPECT_EQ(box.text, expectedText);
        EXPECT_EQ(box.caption, L"Error") << "the platform's default caption";
        EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_ERROR));
    }

    // The status bar's line asks for the state alone, and shows the same box.
    BoxWatcher watcher;
    EXPECT_EQ(ReadDriverStatusTextId(), static_cast<UINT>(IDS_DRIVER_NOT_RUNNING));
    const std::vector<BoxSeen>& lineBoxes = watcher.Stop();
    ASSERT_EQ(lineBoxes.size(), 1u);
    EXPECT_EQ(lineBoxes[0].text, expectedText);
}

TEST(ServiceManagerGone, FixProblemsParksNoRowWhoseStateItCouldNotLearn)
{
    ResetFilterValues();
    // mountmgr runs in every prefix, so parking it would be wrong for certain.
    WriteClassMultiSz(UpperFiltersValue, {L"mountmgr"});
    WriteClassMultiSz(LowerFiltersValue, {L"QmNoSuchService"});
    ASSERT_TRUE(EndServiceManagerProcess());
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, GENERIC_READ);
    DWORD managerError = GetLastError();
    if (manager) {
        CloseServiceHandle(manager);
        GTEST_SKIP() << "Wine brought its service manager back at once";
    }

    InitCommonControls();
    // A hidden parent, so the box watcher finds only the boxes.
    HWND host = CreateWindowExW(0, L"Static", nullptr, WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_CHILD | LVS_REPORT, 0, 0, 400, 300, host,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILTER_LIST)), nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    {
        BoxWatcher watcher;
        SetUpFilterList(list);
        PopulateFilterList(list);
        ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
        FixProblemsAutomatically(list, nullptr);
        watcher.Stop();
    }
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(GetFilterItemState(list, row), static_cast<UINT>(ActiveMissing)) << "row " << row;
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, std::vector<std::string>{"mountmgr"});
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, std::vector<std::string>{"QmNoSuchService"});
    DestroyWindow(host);

    // The console companion runs where nobody could click a box away: what the
    // box would say ends its line instead, and the answer is "cannot tell".
    std::wstring output;
    std::vector<BoxSeen> boxes;
    {
        BoxWatcher watcher;
        EXPECT_EQ(RunCommand({L"check"}, &output), ConsoleFailed);
        EXPECT_EQ(RunCommand({L"list"}, &output), ConsoleFailed);
        boxes = watcher.Stop();
    }
    EXPECT_TRUE(boxes.empty()) << Narrow(boxes.empty() ? L"" : boxes[0].text);
    EXPECT_NE(output.find(L"Cannot tell whether anything needs repair: QmNoSuchService (LowerFilters): its service "
                          L"could not be asked; mountmgr (UpperFilters): its service could not be asked\n"),
              std::wstring::npos)
        << Narrow(output);
    std::wstring last = L"Cannot tell whether anything needs repair: " + SystemText(managerError) + L"\n";
    EXPECT_EQ(output.substr(output.size() - last.size()), last) << Narrow(output);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, std::vector<std::string>{"mountmgr"});
    ResetFilterValues();
}

} // namespace
