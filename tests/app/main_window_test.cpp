// The main window as the user meets it: the real dialog, driven by messages
// inside its own modal loop, and the real program, closed from outside.
#include "main_dialog_runner.h"

#include "app/main_window.h"
#include "app/settings_file.h"
#include "base/system_library.h"
#include "res/resource.h"

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
