// Opens the main window as the program does, with one CD/DVD drive of the installer
// stand-in, and prints what a user sees of its sizes, one "key value..." line each.
// The DPI is the one this process started with: Wine reads LogPixels once, at the
// start of a process, so a test sets it and starts this program for each DPI.
// Usage: window_sizes en|de
#include "app/main_window.h"
#include "base/dpi.h"
#include "res/resource.h"
#include "services/running_machine.h"
#include "support/fake_installer.h"
#include "ui/drive_texts.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

int TextWidth(HWND control, const std::wstring& text)
{
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return extent.cx;
}

void PrintRect(const char* key, const RECT& r)
{
    std::printf("%s %ld %ld %ld %ld\n", key, static_cast<long>(r.left), static_cast<long>(r.top),
                static_cast<long>(r.right), static_cast<long>(r.bottom));
}

// Column widths, and per column whether some cell's text is wider than the room
// the list gives it.
void PrintList(HWND list)
{
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int column = 0; column < 3; ++column) {
        int cut = 0;
        for (int row = 0; row < rows; ++row) {
            wchar_t text[256] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 256;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            RECT room{column == 0 ? LVIR_LABEL : LVIR_BOUNDS, column, 0, 0};
            SendMessageW(list, column == 0 ? LVM_GETITEMRECT : LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&room));
            int needed = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
            cut += needed > room.right - room.left ? 1 : 0;
        }
        std::printf("column%d %d %d\n", column, static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)),
                    cut);
    }
    RECT client{};
    GetClientRect(list, &client);
    std::printf("listclient %ld\n", static_cast<long>(client.right));
    for (auto [key, kind] : {std::pair{"stateicons", LVSIL_STATE}, std::pair{"smallicons", LVSIL_SMALL}}) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, kind, 0)), &cx, &cy);
        std::printf("%s %d %d\n", key, cx, cy);
    }
}

// Each part's width, whether its text is cut (the drive's name shortened with "…",
// or a text wider than its part), and the width of the whole text.
void PrintStatusBar(HWND bar)
{
    std::vector<DriveHealth> drives;
    bool known = ReadDriveHealth(RunningMachine(), CdromClass(), &drives);
    DriveHealthText drive = ComposeDriveHealthText(known, drives);
    for (int part = 0; part < 2; ++part) {
        RECT rect{};
        SendMessageW(bar, SB_GETRECT, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(&rect));
        wchar_t text[256] = {};
        SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
        std::wstring shown = text;
        std::wstring whole = part == 0 ? shown : drive.name + drive.rest;
        bool cut = shown.find(L'\u2026') != std::wstring::npos || TextWidth(bar, shown) > rect.right - rect.left;
        std::printf("part%d %ld %d %d\n", part, static_cast<long>(rect.right - rect.left), cut ? 1 : 0,
                    TextWidth(bar, whole));
        std::printf("text%d %s\n", part, Utf8(shown).c_str());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && std::wcscmp(argv[1], L"de") == 0) {
        LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
        SetThreadUILanguage(german);
        SetThreadLocale(MAKELCID(german, SORT_DEFAULT));
    }
    InitCommonControls();
    FakeInstaller installer;
    // The sandbox's drive: present, never started by Wine.
    fakeDevices.drives = {{L"Sandbox DVD-RW drive", L"", 0, 0}};

    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(),
                                     MainDialogProc, 0);
    if (!dialog)
        return 1;
    std::printf("dpi %u\n", WindowDpi(dialog));
    RECT window{};
    GetWindowRect(dialog, &window);
    PrintRect("window", window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    PrintRect("work", monitor.rcWork);
    PrintList(GetDlgItem(dialog, IDC_FILTER_LIST));
    PrintStatusBar(GetDlgItem(dialog, IDC_STATUS_BAR));
    DestroyWindow(dialog);
    return 0;
}
