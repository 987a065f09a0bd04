// The properties dialog of one filter row: vendor, version, state, description.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/filter_list.h"

// `item` is the record of a filter list's row.
void ShowPropertiesDialog(HWND owner, const FilterItem* item);
INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
