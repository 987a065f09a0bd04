// Prints the screen position of a row's check box in the running program's filter
// list, so a script can click it like a user: "x y", or nothing and exit code 1.
// Usage: locate_checkbox ROW
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    int row = argc > 1 ? _wtoi(argv[1]) : 0;
    HWND main = FindWindowW(L"#32770", L"Quillmere");
    HWND list = main ? GetDlgItem(main, 1001) : nullptr;
    if (!list)
        return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return 1;
    // The rectangle must live in the list's own process for LVM_GETITEMRECT.
    void* remote = VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    RECT icon{LVIR_ICON, 0, 0, 0};
    SIZE_T moved = 0;
    bool ok = remote && WriteProcessMemory(process, remote, &icon, sizeof(icon), &moved) &&
              SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote)) &&
              ReadProcessMemory(process, remote, &icon, sizeof(icon), &moved);
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!ok)
        return 1;
    // The check box is drawn just left of the row icon.
    POINT at{icon.left - GetSystemMetrics(SM_CXMENUCHECK) / 2, (icon.top + icon.bottom) / 2};
    ClientToScreen(list, &at);
    std::printf("%ld %ld\n", static_cast<long>(at.x), static_cast<long>(at.y));
    return 0;
}
