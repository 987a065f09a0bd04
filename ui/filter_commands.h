// Row notifications and the row context menu of the filter list.
#pragma once

#include <windows.h>
#include <commctrl.h>

BOOL HandleFilterListNotify(NMHDR* header);
BOOL HandleFilterListKeyDown(NMHDR* header);
BOOL HandleFilterListClick(NMHDR* header);
BOOL HandleFilterListDoubleClick(NMHDR* header);

void ShowFilterContextMenu(HWND list, int x, int y);

// Re-reads the service behind a row after a driver command: icon and state text.
void RefreshFilterItem(HWND list, LVITEMW* item);

// What the row menu offers for a row, from its state image and its service.
enum class MenuItemLook { Enabled, Grayed, Removed };

struct FilterMenuPlan {
    MenuItemLook deactivate;
    MenuItemLook activate;
    MenuItemLook remove;
    MenuItemLook startDriver;
    MenuItemLook stopDriver;
    MenuItemLook restartDriver;
};

FilterMenuPlan PlanFilterContextMenu(UINT stateImage, DWORD currentState, DWORD controlsAccepted);

// Tests replace this to see the prepared popup and pick a command without a user.
struct FilterMenuCalls {
    int (*trackPopupMenu)(HMENU popup, UINT flags, int x, int y, HWND owner);
};
extern FilterMenuCalls filterMenuCalls;
