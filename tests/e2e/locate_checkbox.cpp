// Lets a script act on the running program like a user, and read what it shows.
// Usage: locate_checkbox ROW          screen position "x y" of the row's check box
//        locate_checkbox ROW label    screen position of the row's label
//        locate_checkbox vendor       vendor shown by the open properties dialog,
//                                     which it then closes with OK
//        locate_checkbox close        closes the main window
// Exit code 1 (and no output) when what was asked for is not on screen.
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {

HWND MainWindow()
{
    return FindWindowW(L"#32770", L"Quillmere");
}

bool PrintRowPoint(int row, bool label)
{
    HWND main = MainWindow();
    HWND list = main ? GetDlgItem(main, IDC_FILTER_LIST) : nullptr;
    if (!list)
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return false;
    // The rectangle must live in the list's own process for LVM_GETITEMRECT.
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT part{label ? LVIR_LABEL : LVIR_ICON, 0, 0, 0};
    SIZE_T moved = 0;
    bool ok = remote && WriteProcessMemory(process, remote, &part, sizeof(part), &moved) &&
              SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote)) &&
              ReadProcessMemory(process, remote, &part, sizeof(part), &moved);
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok)
        return false;
    // The check box is drawn just left of the row icon.
    POINT at{label ? (part.left + part.right) / 2 : part.left - GetSystemMetrics(SM_CXMENUCHECK) / 2,
             (part.top + part.bottom) / 2};
    ClientToScreen(list, &at);
    std::printf("%ld %ld\n", static_cast<long>(at.x), static_cast<long>(at.y));
    return true;
}

// The properties dialog is the program's dialog that has a vendor field; its
// caption depends on the language.
bool PrintVendorAndClose()
{
    HWND main = MainWindow();
    for (HWND dialog = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); main && dialog;
         dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) {
        if (GetWindow(dialog, GW_OWNER) != main || !GetDlgItem(dialog, IDC_VENDOR_VALUE))
            continue;
        wchar_t vendor[256] = {};
        GetDlgItemTextW(dialog, IDC_VENDOR_VALUE, vendor, 256);
        std::printf("%ls\n", vendor);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return true;
    }
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* what = argc > 1 ? argv[1] : L"0";
    if (std::wcscmp(what, L"vendor") == 0)
        return PrintVendorAndClose() ? 0 : 1;
    if (std::wcscmp(what, L"close") == 0)
        return MainWindow() && PostMessageW(MainWindow(), WM_CLOSE, 0, 0) ? 0 : 1;
    return PrintRowPoint(_wtoi(what), argc > 2 && std::wcscmp(argv[2], L"label") == 0) ? 0 : 1;
}
