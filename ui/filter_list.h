// The filter list view: its one-time set-up and its rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

// List-view group of a row; also says which pair of values the name stands in.
enum FilterGroup : int {
    FilterGroupLower = 0, // "LowerFilters" / "LowerFiltersRemoved"
    FilterGroupUpper = 1, // "UpperFilters" / "UpperFiltersRemoved"
};

// State-image index of a row (bits 12 to 15 of the item state).
enum FilterItemState : UINT {
    FilterItemStateNone = 0,
    Parked = 1,
    Active = 2,
    ParkedMissing = 3,
    ActiveMissing = 4,
};

void SetUpFilterList(HWND list);
void PopulateFilterList(HWND list);
void AddFilterEntries(HWND list, HKEY key, FilterGroup group);
