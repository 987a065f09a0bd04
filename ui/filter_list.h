// The filter list view: its one-time set-up and its rows.
#pragma once

#include "devices/filter_place.h"

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

// A row of the filter list as the program keeps it. The row's item data points at
// it, and rows are found by that pointer, so a row's item finds that row and no
// other of the same name. It says where its entry stands, rather than the control:
// a list view without group support reports group 0 for every row. One block holds
// the record and its texts; the row owns it.
struct FilterItem {
    FilterGroup group; // which pair of values: lower or upper
    int groupId;       // the list-view group the row was put in
    FilterPlace place;
    const wchar_t* name;
    const wchar_t* drive;     // the drive's instance id; empty for the class key
    const wchar_t* driveName; // the drive's name as the status bar gives it
};

// A fresh row record; null when out of memory. Freed by DeleteFilterItem.
FilterItem* NewFilterItem(const wchar_t* name, FilterGroup group, FilterPlace place = FilterPlace::Class,
                          const wchar_t* drive = L"", const wchar_t* driveName = L"");
void DeleteFilterItem(FilterItem* item);
// How many row records exist; each row holds exactly one while it lives.
size_t LiveFilterItems();
// The record of the row at `index`, or null.
const FilterItem* FilterItemOfRow(HWND list, int index);

// Width of the description column for a list of `clientWidth` pixels: what the name
// and state columns (100 each at 96 DPI) leave, never negative.
int DescriptionColumnWidth(int clientWidth, UINT dpi);

// Columns, row icons, check boxes and watermark at the list's DPI.
void SetUpFilterList(HWND list);
// The row icons, check boxes and watermark made afresh for `dpi`.
void SetListPictures(HWND list, UINT dpi);
// After a move to a monitor of another DPI: the columns keep their share, the
// pictures are made for the new DPI.
void RescaleFilterList(HWND list, UINT fromDpi, UINT toDpi);
void PopulateFilterList(HWND list);

// Reads a row's state-image index.
UINT GetFilterItemState(HWND list, int index);
