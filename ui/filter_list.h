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

inline constexpr UINT FilterItemStateMask = 0xF000;

// What the program keeps for one row besides what the control holds. A row's item
// data points at the NUL-terminated name copy that follows this header, so a row is
// found by the address of its own copy. The group is kept here rather than read back
// from the control: a list view without group support reports 0 for every row.
struct FilterItem {
    FilterGroup group;
    UINT reserved; // keeps the name that follows aligned
};

// A fresh row copy of `name`; null when out of memory. Freed by DeleteFilterItemName.
wchar_t* NewFilterItemName(const wchar_t* name, FilterGroup group);
FilterGroup FilterItemGroup(const wchar_t* name);
void DeleteFilterItemName(wchar_t* name);
// How many row copies exist; each row holds exactly one while it lives.
size_t LiveFilterItemNames();

// The active value of a group: "LowerFilters" or "UpperFilters".
const wchar_t* FilterGroupValueName(FilterGroup group);

// Width of the description column for a list of `clientWidth` pixels: what the name
// and state columns (100 each) leave, never negative.
int DescriptionColumnWidth(int clientWidth);

void SetUpFilterList(HWND list);
void PopulateFilterList(HWND list);
void AddFilterEntries(HWND list, HKEY key, FilterGroup group);

// The text shown for a service state: "Stopped" to "Paused" for the platform's
// states 1 to 7, "Not found" for a missing service, and "Unknown" when the state
// could not be learnt (0) or is none the platform defines. `out` holds
// DisplayTextLength characters.
void LoadServiceStateText(DWORD state, wchar_t* out);

// Reads a row's state-image index.
UINT GetFilterItemState(HWND list, int index);
