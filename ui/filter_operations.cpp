#include "ui/filter_operations.h"

#include "base/handles.h"
#include "devices/drive_health.h"
#include "devices/filter_entries.h"
#include "devices/repair_plan.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "services/running_machine.h"
#include "services/service_info.h"
#include "ui/device_change.h"
#include "ui/message_boxes.h"

#include <commctrl.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The window works on the running system's CD/DVD drives.
const Machine& Here()
{
    return RunningMachine();
}

// Whether the row of `item` is still in the list; an operation started from a row
// that has gone does nothing.
bool RowExists(HWND list, const FilterItem* item)
{
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(item);
    return SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)) >= 0;
}

// Where an operation acts: the class key, or one drive's own values. The record of
// the row it started from goes with the row, so this is a copy.
FilterEntry TargetOf(const FilterItem* item)
{
    return {item->place, item->group, true, item->name, item->drive, item->driveName};
}

// Whether a row shows an entry of the values `target` acts on, under its name.
bool RowOf(const FilterItem& row, const FilterEntry& target)
{
    return row.place == target.place && MultiSzNamesMatch(row.name, target.name.c_str()) &&
           (target.place == FilterPlace::Class || MultiSzNamesMatch(row.drive, target.drive.c_str()));
}

int TimesIn(const std::vector<std::wstring>& entries, const std::wstring& name)
{
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&name](const std::wstring& entry) {
        return MultiSzNamesMatch(entry.c_str(), name.c_str());
    }));
}

// How often each value the target acts on lists its name now: [level][0 parked,
// 1 active]; -1 for a value that cannot be read.
void CountListed(const FilterEntry& target, int (&listed)[2][2])
{
    for (auto& level : listed)
        level[0] = level[1] = -1;
    if (target.place == FilterPlace::Class) {
        UniqueKey key;
        if (OpenFilterClassKey(Here(), CdromClass(), FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
            return;
        for (int level = 0; level < 2; ++level) {
            for (int active = 0; active < 2; ++active) {
                MultiSzList list;
                LSTATUS status = ReadMultiSzValue(key.get(), FilterValueNames[level][active], list);
                if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
                    listed[level][active] = TimesIn(list.entries, target.name);
            }
        }
        return;
    }
    DriveFilterLists lists;
    if (!ReadDriveFilterListsOf(CdromClass(), target.drive.c_str(), &lists) || !lists.known)
        return;
    for (int level = 0; level < 2; ++level) {
        listed[level][0] = TimesIn(lists.parked[level], target.name);
        listed[level][1] = TimesIn(lists.own[level], target.name);
    }
}

struct NameRow {
    int index;
    int level;
    bool wasActive;
    bool active;
    bool placed;
};

// Every row of the target's name and values, in both groups, shows what those
// values hold after an operation: a row stays active or parked while its group's
// value still lists the name, else takes an entry of the other value, else goes. No
// row is added and none changes group; rows of other names and places stay as they
// are. Returns whether a row left the active state.
bool FollowValues(HWND list, const FilterEntry& target)
{
    std::vector<NameRow> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        const FilterItem* row = FilterItemOfRow(list, index);
        if (!row || !RowOf(*row, target))
            continue;
        UINT state = GetFilterItemState(list, index);
        bool active = state == Active || state == ActiveMissing;
        rows.push_back({index, row->group, active, active, false});
    }
    if (rows.empty())
        return false;

    int listed[2][2];
    CountListed(target, listed);
    for (int level = 0; level < 2; ++level) {
        int* left = listed[level];
        // A value that cannot be read tells nothing: the group's rows stay.
        bool known = left[0] >= 0 && left[1] >= 0;
        for (NameRow& row : rows)
            if (row.level == level && (!known || left[row.active] > 0)) {
                row.placed = true;
                --left[row.active];
            }
        for (NameRow& row : rows)
            if (row.level == level && !row.placed && left[!row.active] > 0) {
                row.placed = true;
                row.active = !row.active;
                --left[row.active];
            }
    }

    ServiceInfo info{};
    bool present = QueryServiceInfo(target.name.c_str(), &info);
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

// Parks or restores the target's name in its values; its rows follow. True when a
// row left the active state.
bool ChangeTarget(HWND list, const FilterEntry& target, bool activate, ChangeFailures* failures, KeptServices* kept)
{
    std::vector<ServiceUser> users;
    bool changed = activate ? RestoreEntry(Here(), CdromClass(), target) : ParkEntry(Here(), CdromClass(), target, &users);
    if (!changed)
        failures->Add(target.name.c_str(), GetLastError());
    kept->Add(target.name, users);
    return FollowValues(list, target);
}

void ChangeItems(HWND list, const FilterItem* item, bool activate)
{
    if (!RowExists(list, item) || item->place == FilterPlace::Declarative)
        return;
    FilterEntry target = TargetOf(item);
    ChangeFailures failures;
    KeptServices kept;
    ChangeTarget(list, target, activate, &failures, &kept);
    ReportChangeFailures(GetParent(list), failures);
    ReportKeptServices(GetParent(list), kept);
}

// Every name and place of the list's parkable rows once, in the rows' order, as
// copies: parking may remove rows.
std::vector<FilterEntry> TargetsOfRows(HWND list)
{
    std::vector<FilterEntry> targets;
    for (int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_ALL));
         index >= 0;
         index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_ALL))) {
        const FilterItem* row = FilterItemOfRow(list, index);
        if (row && row->place != FilterPlace::Declarative &&
            std::none_of(targets.begin(), targets.end(), [row](const FilterEntry& known) { return RowOf(*row, known); }))
            targets.push_back(TargetOf(row));
    }
    return targets;
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
    if (item->place == FilterPlace::Declarative || !ConfirmFilterDelete(list, item->name) || !RowExists(list, item))
        return;
    FilterEntry target = TargetOf(item);
    ChangeFailures failures;
    KeptServices kept;
    std::vector<ServiceUser> users;
    if (!DeleteEntry(Here(), CdromClass(), target, &users))
        failures.Add(target.name.c_str(), GetLastError());
    kept.Add(target.name, users);
    FollowValues(list, target);
    ReportChangeFailures(GetParent(list), failures);
    ReportKeptServices(GetParent(list), kept);
}

void FixProblemsAutomatically(HWND list, HWND statusBar)
{
    RepairPlan plan = PlanRepair(GatherRepairFacts(Here(), CdromClass(), true));
    ChangeFailures failures;
    KeptServices kept;
    bool parked = false;
    // Every row takes part, parked ones too: their park runs again, so that a
    // service left enabled behind a parked name is disabled.
    for (const FilterEntry& target : TargetsOfRows(list)) {
        const PlannedFilter* planned = FindPlannedFilter(plan, target.place, target.drive, target.name);
        if (planned && planned->verdict == FixVerdict::Park)
            parked = ChangeTarget(list, target, false, &failures, &kept) || parked;
    }
    HWND owner = GetParent(list);
    // Only a filter taken off the drives waits for their restart to take effect.
    ChangeDevicesAndTell(owner, statusBar, DICS_PROPCHANGE, parked);
    ReportChangeFailures(owner, failures);
    ReportKeptServices(owner, kept);
}
