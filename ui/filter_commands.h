// Row notifications and the row context menu of the filter list.
#pragma once

#include <windows.h>
#include <commctrl.h>

BOOL HandleFilterListNotify(NMHDR* header);
void ShowFilterContextMenu(HWND list, int x, int y);
