// The main window as the user meets it: the real dialog, driven by messages
// inside its own modal loop, and the real program, closed from outside.
#include "main_dialog_runner.h"

#include "app/main_window.h"
#include "app/settings_file.h"
#include "base/system_library.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "support/fake_installer.h"
#include "support/wine_tools.h"
#include "ui/filter_operations.h"
#include "ui/status_bar.h"

#include <gtest/gtest.h>

namespace {

TEST(MainWindow, ExitAndEveryKindOfCloseEndTheDialogWith2)
{
    ScratchAppData appData;
    DialogRun byExit = RunMainDialog({[](HWND dialog) { SendMessageW(dialog, WM_COMMAND, IDM_EXIT, 0); }});
    EXPECT_EQ(byExit.result, 2);

    // The menu sends the notification code 0; an accelerator-like 1 changes nothing.
    DialogRun byExitWithCode =
        RunMainDialog({[](HWND dialog) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 1), 0); }});
    EXPECT_EQ(byExitWithCode.result, 2);

    DialogRun byClose = RunMainDialog({[](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }});
    EXPECT_EQ(byClose.result, 2);

    // Close box, system menu and Alt+F4 all arrive as SC_CLOSE.
    DialogRun byCloseBox =
        RunMainDialog({[](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }});
    EXPECT_EQ(byCloseBox.result, 2);
}

TEST(MainWindow, EscapeEnterAboutAndIgnoredCommandsLeaveTheWindowOpen)
{
    ScratchAppData appData;
    // A section that a wrongly routed "Delete settings" would remove.
    CreateDirectoryW((appData.folder() + L"\\tolvern").c_str(), nullptr);
    WritePrivateProfileStringW(L"quillmere", L"marker", L"1", appData.SettingsPath().c_str());

    std::wstring titleAfter;
    bool sectionKept = false;
    DialogRun run = RunMainDialog({
        [](HWND dialog) {
            // Through the dialog loop, as typed: the dialog manager turns these into
            // commands 2 and 1.
            HWND list = GetDlgItem(dialog, IDC_FILTER_LIST);
            SetFocus(list);
            PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
        },
        [](HWND dialog) {
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            SendMessageW(dialog, WM_COMMAND, IDM_ABOUT, 0);
            // Everything in the dispatch range that is not a working command,
            // among them the greyed load and save items of both languages.
            for (UINT id = IDM_DISPATCH_FIRST; id <= IDM_DISPATCH_LAST; ++id) {
                if (id == IDM_EXIT || id == IDM_DELETE_SETTINGS || id == IDM_FIX_PROBLEMS ||
                    id == IDM_DRIVER_ACTIVATE || id == IDM_DRIVER_DEACTIVATE || id == IDM_DRIVER_RECONFIGURE)
                    continue;
                SendMessageW(dialog, WM_COMMAND, id, 0);
            }
            // Just outside the range on both sides.
            SendMessageW(dialog, WM_COMMAND, IDM_DISPATCH_FIRST - 1, 0);
            SendMessageW(dialog, WM_COMMAND, IDM_DISPATCH_LAST + 1, 0);
        },
        [&](HWND dialog) {
            wchar_t title[64] = L"";
            GetWindowTextW(dialog, title, 64);
            titleAfter = title;
            sectionKept = SectionPresent(appData.SettingsPath(), L"quillmere");
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        },
    });
    EXPECT_EQ(run.stepsRun, 3u) << "the dialog ended before the last step";
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(titleAfter, L"Quillmere");
    EXPECT_TRUE(sectionKept);
}

TEST(MainWindow, TitleFromStringTableAndMenuAttached)
{
    ScratchAppData appData;
    std::wstring title;
    UINT exitState = 0xFFFFFFFF;
    DialogRun run = RunMainDialog({[&](HWND dialog) {
        wchar_t text[64] = L"";
        GetWindowTextW(dialog, text, 64);
        title = text;
        exitState = GetMenuState(GetMenu(dialog), IDM_EXIT, MF_BYCOMMAND);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(title, L"Quillmere"); // the template says "..."
    EXPECT_EQ(exitState, 0u);       // present and enabled
}

// The real program, started as a user would start it and closed from outside.
class ProgramProcess {
public:
    ProgramProcess()
    {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring program = path;
        // tests\app\test_app.exe -> quillmere.exe two folders up.
        for (int level = 0; level < 3; ++level)
            program.erase(program.find_last_of(L'\\'));
        program += L"\\quillmere.exe";
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_);
    }
    ~ProgramProcess()
    {
        if (!started_)
            return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    bool started() const { return started_; }

    // Its main window, once it is on screen (10 s at most).
    HWND WaitForMainWindow()
    {
        for (int attempt = 0; attempt < 200; ++attempt) {
            HWND found = nullptr;
            EnumThreadWindows(process_.dwThreadId, FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
            if (found)
                return found;
            Sleep(50);
        }
        return nullptr;
    }

    // The exit code, or STILL_ACTIVE if it did not end within 10 s.
    DWORD WaitForExit()
    {
        WaitForSingleObject(process_.hProcess, 10000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    static BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found)
    {
        if (IsWindowVisible(window) && GetDlgItem(window, IDC_FILTER_LIST)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

using MainWindowDevices = FakeInstallerTest;

// Every device gets the state its command names, and the status line is read
// afresh after the change: a swap would disable every drive when the user asked
// to enable them.
TEST_F(MainWindowDevices, DriverCommandsSendTheirStateAndTellWhatTheChangeCameTo)
{
    ScratchAppData appData;
    ScratchMachine machine;
    // A filter without its service, which Fix problems parks.
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone"});
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0}};
    HWND dialog = CreateMainDialogModeless();
    ASSERT_NE(dialog, nullptr);
    HWND bar = GetDlgItem(dialog, IDC_STATUS_BAR);
    auto statusPart = [bar](WPARAM part) {
        wchar_t text[256] = {};
        SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
        return std::wstring(text);
    };
    // Both parts are blanked while the change runs, so only a refresh after it fills them again.
    fakeDevices.duringChange = [bar] {
        SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        SendMessageW(bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
    };
    fakeDevices.changeResults = {TRUE, TRUE};
    const std::pair<UINT, DWORD> commands[] = {{IDM_DRIVER_ACTIVATE, DICS_ENABLE},
                                               {IDM_DRIVER_DEACTIVATE, DICS_DISABLE},
                                               {IDM_DRIVER_RECONFIGURE, DICS_PROPCHANGE},
                                               {IDM_FIX_PROBLEMS, DICS_PROPCHANGE}};
    for (auto [command, state] : commands) {
        SCOPED_TRACE(command);
        fakeDevices.calls.clear();
        DispatchMenuCommand(dialog, command);
        int changes = 0;
        for (const InstallerCall& call : fakeDevices.calls) {
            if (call.kind == InstallerCall::SetClassInstallParams) {
                EXPECT_EQ(call.params.StateChange, state);
                ++changes;
            }
        }
        EXPECT_EQ(changes, 2);
        EXPECT_EQ(statusPart(0), L"DVD/CD-ROM driver is not running");
        EXPECT_EQ(statusPart(1), L"1 drive working");
    }

    // Refused on every drive, as Windows refuses a 32-bit program on 64-bit Windows,
    // with an error the system has no text for. Only a Fix problems that parked a
    // filter has changes waiting for the drives' restart: the filter, parked above,
    // is restored for the first one, and the second finds nothing to park.
    HWND list = GetDlgItem(dialog, IDC_FILTER_LIST);
    LVITEMW row{};
    row.mask = LVIF_PARAM;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    ActivateFilterItems(list, reinterpret_cast<const FilterItem*>(row.lParam));
    fakeDevices.changeResults = {FALSE, FALSE};
    fakeDevices.refusal = ERROR_IN_WOW64;
    // Both answers in both builds: this machine may run no 32-bit program at all.
    SwappedSeam wow64(wow64Calls);
    struct Refusal {
        UINT command;
        const wchar_t* expected;
        bool wow64;
    };
    const Refusal refusals[] = {{IDM_DRIVER_ACTIVATE, L"were not changed.", false},
                                {IDM_DRIVER_ACTIVATE, L"were not changed.", true},
                                {IDM_FIX_PROBLEMS, L"were not restarted, so changes", true},
                                {IDM_FIX_PROBLEMS, L"were not changed.", false}};
    for (const Refusal& refusal : refusals) {
        wow64Calls.runningUnderWow64 = refusal.wow64 ? +[] { return true; } : +[] { return false; };
        DialogWatcher box(IDOK);
        DispatchMenuCommand(dialog, refusal.command);
        ASSERT_TRUE(box.Wait());
        std::wstring text = box.AllText();
        EXPECT_NE(text.find(refusal.expected), std::wstring::npos) << Narrow(text);
        EXPECT_NE(text.find(L"Error code 0xE0000235"), std::wstring::npos) << Narrow(text);
        EXPECT_EQ(text.find(L"quillmere-64bit.exe") != std::wstring::npos, refusal.wow64) << Narrow(text);
        EXPECT_EQ(box.seen().owner, dialog);
    }

    // One drive of several asks for a restart of Windows.
    fakeDevices.changeResults = {TRUE, TRUE, TRUE};
    fakeDevices.installFlags = {0, DI_NEEDREBOOT, 0};
    {
        DialogWatcher box(IDOK);
        DispatchMenuCommand(dialog, IDM_DRIVER_RECONFIGURE);
        ASSERT_TRUE(box.Wait());
        EXPECT_NE(box.AllText().find(L"Windows must be restarted"), std::wstring::npos) << Narrow(box.AllText());
    }
    DestroyWindow(dialog);
}

TEST_F(MainWindowDevices, TheDrivePartStandsRightOfTheDriverLineAndListsEveryDriveOnDoubleClick)
{
    ScratchAppData appData;
    fakeDevices.drives = {{L"Optiarc DVD RW AD-7280S ATA Device with a name far too long for its part", L"",
                           DN_HAS_PROBLEM, 39},
                          {L"Rear BD-ROM", L"", DN_STARTED, 0, false, {{L"QmDetailGone"}, {}}}};
    HWND dialog = CreateMainDialogModeless();
    ASSERT_NE(dialog, nullptr);
    HWND bar = GetDlgItem(dialog, IDC_STATUS_BAR);
    RECT parts[2] = {};
    auto readParts = [&] {
        ASSERT_EQ(SendMessageW(bar, SB_GETPARTS, 0, 0), 2);
        SendMessageW(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&parts[0]));
        SendMessageW(bar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&parts[1]));
    };
    readParts();
    EXPECT_LE(parts[0].right, parts[1].left);
    const LONG driverPart = parts[0].right;
    wchar_t text[256] = {};
    SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    // The name gives way; the code and its meaning stay.
    std::wstring shown = text;
    EXPECT_EQ(shown.rfind(L"\u2026: code 39, a driver is missing or damaged"),
              shown.size() - std::wstring(L"\u2026: code 39, a driver is missing or damaged").size())
        << Narrow(shown);
    EXPECT_EQ(shown.find(L"Optiarc"), 0u) << Narrow(shown);

    // Wider window: the driver line keeps its part, the drive part and its text grow.
    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 300, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT before = parts[1];
    readParts();
    EXPECT_EQ(parts[0].right, driverPart);
    EXPECT_EQ(parts[1].right, before.right + 300);
    wchar_t wider[256] = {};
    SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(wider));
    EXPECT_GT(lstrlenW(wider), lstrlenW(text));

    // The driver's line is shorter while it runs: at the first size, what its part
    // no longer needs shows more of the drive's name.
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    ScratchMachine machine;
    ASSERT_TRUE(CreateRunningService(L"cdrom"));
    RefreshStatusBar(bar);
    readParts();
    EXPECT_LT(parts[0].right, driverPart);
    wchar_t running[256] = {};
    SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(running));
    EXPECT_GT(lstrlenW(running), lstrlenW(text)) << Narrow(running);

    DialogWatcher details(IDOK);
    NMMOUSE click = {};
    click.hdr = {bar, IDC_STATUS_BAR, static_cast<UINT>(NM_DBLCLK)};
    click.dwItemSpec = 1;
    SendMessageW(dialog, WM_NOTIFY, IDC_STATUS_BAR, reinterpret_cast<LPARAM>(&click));
    ASSERT_TRUE(details.Wait());
    EXPECT_NE(details.AllText().find(L"Rear BD-ROM: working\n    LowerFilters: QmDetailGone (Not found, from its driver package)"),
              std::wstring::npos)
        << Narrow(details.AllText());
    EXPECT_NE(details.AllText().find(L"far too long for its part: code 39"), std::wstring::npos);
    DestroyWindow(dialog);
}

TEST(Program, ExitCodeIs2AfterCloseAndAfterExit)
{
    ScratchAppData appData; // inherited by the program
    for (UINT message : {static_cast<UINT>(WM_CLOSE), static_cast<UINT>(WM_COMMAND)}) {
        SCOPED_TRACE(message == WM_CLOSE ? "WM_CLOSE" : "Exit command");
        ProgramProcess program;
        ASSERT_TRUE(program.started());
        HWND window = program.WaitForMainWindow();
        ASSERT_NE(window, nullptr);
        PostMessageW(window, message, message == WM_COMMAND ? IDM_EXIT : 0, 0);
        EXPECT_EQ(program.WaitForExit(), 2u);
    }
    // The program wrote its settings on the way out.
    EXPECT_TRUE(SectionPresent(appData.SettingsPath(), L"quillmere"));
}

// The start-up's first step. It stays in force for the rest of this run, which
// loads nothing but system libraries.
TEST(StartUp, ALibraryBesideTheProgramIsNoLongerLoadedByName)
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring beside = path;
    beside.erase(beside.find_last_of(L'\\') + 1);
    std::wstring planted = beside + L"qm_planted.dll";
    ASSERT_TRUE(CopyFileW((beside + L"..\\planted\\version.dll").c_str(), planted.c_str(), FALSE));

    HMODULE before = LoadLibraryW(L"qm_planted.dll");
    EXPECT_NE(before, nullptr) << "the program's folder is searched by default";
    if (before)
        FreeLibrary(before);
    NarrowLibrarySearchPath();
    HMODULE after = LoadLibraryW(L"qm_planted.dll");
    EXPECT_EQ(after, nullptr);
    if (after)
        FreeLibrary(after);
    DeleteFileW(planted.c_str());
}

} // namespace
