#include "app/main_window.h"

#include "app/anchors.h"
#include "app/settings_file.h"
#include "base/dpi.h"
#include "base/handles.h"
#include "base/system_library.h"
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

// The DPI the window is laid out for, and the controls' font once a move to a
// monitor of another DPI has made one; before that they keep the template's.
UINT layoutDpi = DefaultDpi;
UniqueFont movedFont;

// Windows 10 1703 and later lay a dialog out again by themselves on a DPI change,
// from the template; this window keeps the anchored layout and does it alone.
void KeepDpiChangesToOurselves(HWND window)
{
    constexpr int DisableAll = 1; // DDC_DISABLE_ALL
    using SetBehavior = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior =
        LookUpProcedure<SetBehavior>(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior");
    if (setBehavior)
        setBehavior(window, DisableAll, DisableAll);
}

void ScaleControlFont(HWND window, UINT fromDpi, UINT toDpi)
{
    LOGFONTW font{};
    auto current = reinterpret_cast<HGDIOBJ>(SendMessageW(FilterList(window), WM_GETFONT, 0, 0));
    if (!current || GetObjectW(current, sizeof(font), &font) == 0)
        return;
    // Through its size in points, as the dialog manager makes the template's font,
    // so that it is the font a start at the new DPI would have given.
    LONG points = MulDiv(font.lfHeight, 72, static_cast<int>(fromDpi));
    font.lfHeight = MulDiv(points, static_cast<int>(toDpi), 72);
    font.lfWidth = RescaleForDpi(font.lfWidth, fromDpi, toDpi);
    UniqueFont made(CreateFontIndirectW(&font));
    if (!made)
        return;
    for (HWND control : {FilterList(window), StatusBar(window)})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(made.get()), TRUE);
    movedFont = std::move(made); // the one before is no longer in use
}

// Moved to a monitor of another scaling: the suggested rectangle, and everything
// laid out and drawn again for the new DPI.
void ChangeDpi(HWND window, UINT dpi, const RECT& suggested)
{
    UINT previous = layoutDpi;
    layoutDpi = dpi;
    ScaleControlFont(window, previous, dpi);
    RescaleFilterList(FilterList(window), previous, dpi);
    SetNoticeFont(FilterList(window));
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    // Also where the size in pixels stays what it was.
    ApplyAnchors(window);
    LayOutStatusBar(StatusBar(window));
}

// The order matters: the anchors must be captured at the template's size, before
// a restored placement resizes the window; the list is set up and filled only once
// the window has its final size.
void InitializeMainWindow(HWND window)
{
    KeepDpiChangesToOurselves(window);
    layoutDpi = WindowDpi(window);
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
    case WM_NCDESTROY:
        // The controls, which used it, are gone now.
        movedFont.reset();
        return 0;
    case WM_DPICHANGED:
        ChangeDpi(window, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
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
