#include "app/main_window.h"

#include "app/anchors.h"
#include "app/settings_file.h"
#include "base/text_sizes.h"
#include "res/resource.h"
#include "ui/device_change.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"
#include "ui/filter_operations.h"
#include "ui/notice_link.h"
#include "ui/status_bar.h"

#include <setupapi.h>
#include <windowsx.h>

namespace {

HWND FilterList(HWND window) { return GetDlgItem(window, IDC_FILTER_LIST); }
HWND StatusBar(HWND window) { return GetDlgItem(window, IDC_STATUS_BAR); }

// The order matters: the anchors must be captured at the template's size, before
// a restored placement resizes the window; the list is set up and filled only once
// the window has its final size.
void InitializeMainWindow(HWND window)
{
    CaptureAnchors(window);
    RefreshStatusBar(StatusBar(window));
    RestoreWindowPlacement(window);

    wchar_t title[DisplayTextLength] = L"";
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_APP_TITLE, title, DisplayTextLength) > 0)
        SetWindowTextW(window, title);

    HWND list = FilterList(window);
    SetUpFilterList(list);
    AttachNoticeLink(list);
    PopulateFilterList(list);
}

void ExitProgram(HWND window) { EndDialog(window, MainWindowClosed); }
void DeleteSavedSettings(HWND) { DeleteSettings(); }
void FixProblems(HWND window) { FixProblemsAutomatically(FilterList(window), StatusBar(window)); }

void ChangeAllDevices(HWND window, DWORD state)
{
    ChangeDevicesAndTell(window, StatusBar(window), state, false);
}
void ActivateDevices(HWND window) { ChangeAllDevices(window, DICS_ENABLE); }
void DeactivateDevices(HWND window) { ChangeAllDevices(window, DICS_DISABLE); }
void ReconfigureDevices(HWND window) { ChangeAllDevices(window, DICS_PROPCHANGE); }

struct MenuCommand {
    UINT id;
    void (*run)(HWND window);
};

// The main menu's working commands. The rest of 40028 to 40051, among them the
// greyed load and save items of both languages, do nothing.
constexpr MenuCommand MenuCommands[] = {
    {IDM_EXIT, ExitProgram},
    {IDM_DELETE_SETTINGS, DeleteSavedSettings},
    {IDM_FIX_PROBLEMS, FixProblems},
    {IDM_DRIVER_ACTIVATE, ActivateDevices},
    {IDM_DRIVER_DEACTIVATE, DeactivateDevices},
    {IDM_DRIVER_RECONFIGURE, ReconfigureDevices},
};

// A double-click on the drive part of the status bar lists every drive.
void HandleStatusBarNotify(HWND window, const NMHDR* header)
{
    if (header->code == NM_DBLCLK && reinterpret_cast<const NMMOUSE*>(header)->dwItemSpec == 1)
        ShowStatusBarDetails(window);
}

} // namespace

void DispatchMenuCommand(HWND window, UINT commandId)
{
    for (const MenuCommand& command : MenuCommands) {
        if (command.id == commandId) {
            command.run(window);
            return;
        }
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitializeMainWindow(window);
        return 0; // the focus is left where the dialog manager has not put it
    case WM_DESTROY:
        // The list still exists here, so the notice link can take its resources back.
        DetachNoticeLink(FilterList(window));
        SaveWindowSettings(window);
        return 0;
    case WM_SIZE:
        // Also when minimised: the layout is always computed afresh from the
        // captured geometry, so restoring puts everything back.
        ApplyAnchors(window);
        LayOutStatusBar(StatusBar(window));
        return 0;
    case WM_ERASEBKGND:
        EraseMainBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_STATUS_BAR) {
            HandleStatusBarNotify(window, header);
            return 0;
        }
        return HandleFilterListNotify(header) ? 1 : 0;
    }
    case WM_CONTEXTMENU: {
        // Only the filter list has a context menu. The position is signed: it is
        // negative on a monitor left of or above the primary one, and (-1, -1)
        // when the menu key asked for it.
        HWND source = reinterpret_cast<HWND>(wParam);
        if (source != nullptr && source == FilterList(window))
            ShowFilterContextMenu(source, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    }
    case WM_CLOSE:
        EndDialog(window, MainWindowClosed);
        return 0;
    case WM_COMMAND: {
        // Ids 1 and 2 (Enter and Esc) and "About" lie outside the range and do nothing.
        UINT id = LOWORD(wParam);
        if (id >= IDM_DISPATCH_FIRST && id <= IDM_DISPATCH_LAST)
            DispatchMenuCommand(window, id);
        return 0;
    }
    default:
        return 0;
    }
}
