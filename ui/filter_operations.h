// Changes to a filter together with its rows in the filter list.
#pragma once

#include <windows.h>

// `name` is a row's item data, the row's own name copy. Afterwards every row of
// that name shows what the class key then holds.
void DeactivateFilterItems(HWND list, const wchar_t* name);
void ActivateFilterItems(HWND list, const wchar_t* name);

// Asks first; `valueName` is the active value of the row's group.
void ConfirmAndDeleteFilter(HWND list, const wchar_t* name, const wchar_t* valueName);

// Parks every filter whose service is missing or not running (only those missing
// when no drive is present), then restarts the CD-ROM devices and refreshes the
// driver status line.
void FixProblemsAutomatically(HWND list);
