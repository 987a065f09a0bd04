// The properties dialog of one filter row: vendor, version, state, description.
#pragma once

#include <windows.h>
#include <commctrl.h>

// `item` is a row as read from the filter list; its item data is the row's name.
void ShowPropertiesDialog(HWND owner, const LVITEMW* item);
INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
