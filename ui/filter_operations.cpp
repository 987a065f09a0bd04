#include "ui/filter_operations.h"

#include "base/handles.h"
#include "devices/drive_health.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "services/service_info.h"
#include "ui/device_change.h"
#include "ui/filter_list.h"
#include "ui/message_boxes.h"

#include <commctrl.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Whether the row of `item` is still in the list; an operation started from a row
// that has gone does nothing.
bool RowExists(HWND list, const FilterItem* item)
{
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(item);
    return SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)) >= 0;
}

// How often `value` lists `name`; -1 when the value cannot be read.
int TimesListed(HKEY key, const wchar_t* value, const std::wstring& name)
{
    MultiSzList list;
    LSTATUS status = ReadMultiSzValue(key, value, list);
    if (status == ERROR_FILE_NOT_FOUND)
        return 0;
    if (status != ERROR_SUCCESS)
        return -1;
    return static_cast<int>(std::count_if(list.entries.begin(), list.entries.end(), [&name](const std::wstring& entry) {
        return MultiSzNamesMatch(entry.c_str(), name.c_str());
    }));
}

struct NameRow {
    int index;
    FilterGroup group;
    bool wasActive;
    bool active;
    bool placed;
};

// Every row of `name`, in both groups, shows what the class key holds after an
// operation on it: a row stays active or parked while its group's value still
// lists the name, else takes an entry of the other value, else goes. No row is
// added and none changes group; rows of other names stay as they are. Returns
// whether a row left the active state.
bool FollowClassKey(HWND list, const std::wstring& name)
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
        return false;
    std::vector<NameRow> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        const FilterItem* row = FilterItemOfRow(list, index);
        if (!row || row->place != FilterPlace::Class || !MultiSzNamesMatch(row->name, name.c_str()))
            continue;
        UINT state = GetFilterItemState(list, index);
        bool active = state == Active || state == ActiveMissing;
        rows.push_back({index, row->group, active, active, false});
    }
    if (rows.empty())
        return false;

    for (FilterGroup group : {FilterGroupLower, FilterGroupUpper}) {
        bool upper = group == FilterGroupUpper;
        // [0] parked, [1] active
        int left[2] = {TimesListed(key.get(), upper ? UpperFiltersRemovedValue : LowerFiltersRemovedValue, name),
                       TimesListed(key.get(), upper ? UpperFiltersValue : LowerFiltersValue, name)};
        // A value that cannot be read tells nothing: the group's rows stay.
        bool known = left[0] >= 0 && left[1] >= 0;
        for (NameRow& row : rows)
            if (row.group == group && (!known || left[row.active] > 0)) {
                row.placed = true;
                --left[row.active];
            }
        for (NameRow& row : rows)
            if (row.group == group && !row.placed && left[!row.active] > 0) {
                row.placed = true;
                row.active = !row.active;
                --left[row.active];
            }
    }

    ServiceInfo info{};
    bool present = QueryServiceInfo(name.c_str(), &info);
    wchar_t stateText[DisplayTextLength];
    LoadServiceStateText(info.currentState, stateText);
    bool leftActive = false;
    // From the last row up, so a removal moves no row still to be handled.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        leftActive = leftActive || (row->wasActive && !(row->placed && row->active));
        if (!row->placed) {
            SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row->index), 0);
            continue;
        }
        LVITEMW item{};
        item.state = INDEXTOSTATEIMAGEMASK(present ? (row->active ? Active : Parked)
                                                   : (row->active ? ActiveMissing : ParkedMissing));
        item.stateMask = FilterItemStateMask;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row->index), reinterpret_cast<LPARAM>(&item));
        item = LVITEMW{};
        item.mask = LVIF_IMAGE;
        item.iItem = row->index;
        item.iImage = (present && info.currentState == SERVICE_RUNNING) ? 0 : 1;
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        item = LVITEMW{};
        item.iSubItem = 2;
        item.pszText = stateText;
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row->index), reinterpret_cast<LPARAM>(&item));
    }
    return leftActive;
}

// Parks or restores `name`; its rows follow. True when a row left the active state.
bool ChangeName(HWND list, const std::wstring& name, bool activate, ChangeFailures* failures, KeptServices* kept)
{
    std::vector<ServiceUser> users;
    bool changed = activate ? ActivateFilter(name.c_str()) : DeactivateFilter(name.c_str(), nullptr, &users);
    if (!changed)
        failures->Add(name.c_str(), GetLastError());
    kept->Add(name, users);
    return FollowClassKey(list, name);
}

void ChangeItems(HWND list, const FilterItem* item, bool activate)
{
    if (!RowExists(list, item))
        return;
    // The row's record goes with the row, which the change may remove.
    std::wstring name = item->name;
    ChangeFailures failures;
    KeptServices kept;
    ChangeName(list, name, activate, &failures, &kept);
    ReportChangeFailures(GetParent(list), failures);
    ReportKeptServices(GetParent(list), kept);
}

// Every name of the list once, in the rows' order, as copies: parking may remove rows.
std::vector<std::wstring> NamesOfRows(HWND list)
{
    std::vector<std::wstring> names;
    for (int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_ALL));
         index >= 0;
         index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_ALL))) {
        const FilterItem* row = FilterItemOfRow(list, index);
        if (row && std::none_of(names.begin(), names.end(), [row](const std::wstring& known) {
                return MultiSzNamesMatch(known.c_str(), row->name);
            }))
            names.push_back(row->name);
    }
    return names;
}

} // namespace

void DeactivateFilterItems(HWND list, const FilterItem* item)
{
    ChangeItems(list, item, false);
}

void ActivateFilterItems(HWND list, const FilterItem* item)
{
    ChangeItems(list, item, true);
}

void ConfirmAndDeleteFilter(HWND list, const FilterItem* item)
{
    if (!ConfirmFilterDelete(list, item->name) || !RowExists(list, item))
        return;
    // The row's record goes with the row once the class key no longer lists it.
    std::wstring name = item->name;
    const wchar_t* valueName = FilterGroupValueName(item->group);
    ChangeFailures failures;
    KeptServices kept;
    std::vector<ServiceUser> users;
    if (!DeleteFilter(valueName, name.c_str(), &users))
        failures.Add(name.c_str(), GetLastError());
    kept.Add(name, users);
    FollowClassKey(list, name);
    ReportChangeFailures(GetParent(list), failures);
    ReportKeptServices(GetParent(list), kept);
}

void FixProblemsAutomatically(HWND list, HWND statusBar)
{
    std::vector<DriveHealth> drives;
    bool noDrive = ReadDriveHealth(&drives) && drives.empty();
    ChangeFailures failures;
    KeptServices kept;
    bool parked = false;
    for (const std::wstring& name : NamesOfRows(list)) {
        ServiceInfo info{};
        QueryServiceInfo(name.c_str(), &info);
        if (FixParks(FilterPlace::Class, info.currentState, noDrive))
            parked = ChangeName(list, name, false, &failures, &kept) || parked;
    }
    HWND owner = GetParent(list);
    // Only a filter taken off the drives waits for their restart to take effect.
    ChangeDevicesAndTell(owner, statusBar, DICS_PROPCHANGE, parked);
    ReportChangeFailures(owner, failures);
    ReportKeptServices(owner, kept);
}
