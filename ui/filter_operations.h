// Changes to a filter together with its rows in the filter list.
#pragma once

#include "ui/filter_list.h"

#include <windows.h>

// `item` is a row's record. Afterwards every row of that name shows what the class
// key then holds.
void DeactivateFilterItems(HWND list, const FilterItem* item);
void ActivateFilterItems(HWND list, const FilterItem* item);

// Asks first, then drops the name from the row's group: its active value and its
// parking value.
void ConfirmAndDeleteFilter(HWND list, const FilterItem* item);

// Parks every filter whose service is missing or not running (only those missing
// when no drive is present), then restarts the CD-ROM devices and refreshes the
// main window's `statusBar`.
void FixProblemsAutomatically(HWND list, HWND statusBar);
