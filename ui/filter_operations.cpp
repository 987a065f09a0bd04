#include "ui/filter_operations.h"

#include "base/error_box.h"
#include "base/handles.h"
#include "base/strings.h"
#include "devices/drive_health.h"
#include "devices/progress_window.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "ui/device_change_notice.h"
#include "ui/filter_list.h"
#include "ui/status_bar.h"

#include <commctrl.h>
#include <setupapi.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Names whose registry change did not take effect, reported once per user action.
struct ChangeFailures {
    std::wstring names;
    DWORD error = ERROR_SUCCESS;

    void Add(const wchar_t* name, DWORD code)
    {
        if (error == ERROR_SUCCESS)
            error = code;
        names += name;
        names += L"\n";
    }
};

// Services left alone because something outside the class key still uses them,
// each with its users, told once per user action.
struct KeptServices {
    std::wstring lines;

    void Add(const std::wstring& name, const std::vector<ServiceUser>& users)
    {
        if (users.empty())
            return;
        lines += name + L":";
        const wchar_t* separator = L" ";
        for (const ServiceUser& user : users) {
            lines += separator;
            lines += user.kind == ServiceUser::Unreadable ? FormatProgramString(IDS_USER_UNREADABLE, {user.name})
                                                          : user.name;
            separator = L", ";
        }
        lines += L"\n";
    }
};

void Report(HWND list, const KeptServices& kept)
{
    if (kept.lines.empty())
        return;
    std::wstring text = LoadProgramString(IDS_SERVICES_KEPT);
    ShellMessageBoxW(GetModuleHandleW(nullptr), GetParent(list), text.c_str(), nullptr, MB_OK | MB_ICONINFORMATION,
                     kept.lines.c_str());
}

void Report(HWND list, const ChangeFailures& failures)
{
    if (failures.names.empty())
        return;
    std::wstring reason = SystemErrorText(failures.error);
    ShellMessageBoxW(GetModuleHandleW(nullptr), GetParent(list), MAKEINTRESOURCEW(IDS_CHANGE_FAILED), nullptr,
                     MB_OK | MB_ICONERROR, failures.names.c_str(), reason.c_str());
}

int FindRow(HWND list, const wchar_t* name, int after)
{
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(name);
    return static_cast<int>(
        SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(after), reinterpret_cast<LPARAM>(&find)));
}

const wchar_t* RowName(HWND list, int index)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<const wchar_t*>(item.lParam);
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
        const wchar_t* rowName = RowName(list, index);
        if (!rowName || !MultiSzNamesMatch(rowName, name.c_str()))
            continue;
        UINT state = GetFilterItemState(list, index);
        bool active = state == Active || state == ActiveMissing;
        rows.push_back({index, FilterItemGroup(rowName), active, active, false});
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

void ChangeItems(HWND list, const wchar_t* name, bool activate)
{
    if (FindRow(list, name, -1) < 0)
        return;
    // The row's own copy goes with the row, which the change may remove.
    std::wstring copy = name;
    ChangeFailures failures;
    KeptServices kept;
    ChangeName(list, copy, activate, &failures, &kept);
    Report(list, failures);
    Report(list, kept);
}

// Every name of the list once, in the rows' order, as copies: parking may remove rows.
std::vector<std::wstring> NamesOfRows(HWND list)
{
    std::vector<std::wstring> names;
    for (int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_ALL));
         index >= 0;
         index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_ALL))) {
        const wchar_t* name = RowName(list, index);
        if (name && std::none_of(names.begin(), names.end(), [name](const std::wstring& known) {
                return MultiSzNamesMatch(known.c_str(), name);
            }))
            names.push_back(name);
    }
    return names;
}

} // namespace

void DeactivateFilterItems(HWND list, const wchar_t* name)
{
    ChangeItems(list, name, false);
}

void ActivateFilterItems(HWND list, const wchar_t* name)
{
    ChangeItems(list, name, true);
}

void ConfirmAndDeleteFilter(HWND list, const wchar_t* name, const wchar_t* valueName)
{
    int answer = ShellMessageBoxW(GetModuleHandleW(nullptr), list, MAKEINTRESOURCEW(IDS_DELETE_CONFIRM),
                                  MAKEINTRESOURCEW(IDS_DELETE_CAPTION), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                                  name);
    if (answer != IDYES || FindRow(list, name, -1) < 0)
        return;
    // The row's own copy goes with the row once the class key no longer lists it.
    std::wstring copy = name;
    ChangeFailures failures;
    KeptServices kept;
    std::vector<ServiceUser> users;
    if (!DeleteFilter(valueName, copy.c_str(), &users))
        failures.Add(copy.c_str(), GetLastError());
    kept.Add(copy, users);
    FollowClassKey(list, copy);
    Report(list, failures);
    Report(list, kept);
}

void FixProblemsAutomatically(HWND list)
{
    // A filter is loaded only while a drive that uses it is present: without one,
    // a stopped filter is no sign of trouble, and only a missing service is.
    std::vector<DriveHealth> drives;
    bool noDrive = ReadDriveHealth(&drives) && drives.empty();
    ChangeFailures failures;
    KeptServices kept;
    bool parked = false;
    for (const std::wstring& name : NamesOfRows(list)) {
        ServiceInfo info{};
        QueryServiceInfo(name.c_str(), &info);
        // State 0: the manager or the service could not be asked, so a running filter
        // may stand here. A running one stays even when its configuration was unreadable.
        bool park = noDrive ? info.currentState == ServiceStateNotFound
                            : info.currentState != 0 && info.currentState != SERVICE_RUNNING;
        if (park)
            parked = ChangeName(list, name, false, &failures, &kept) || parked;
    }
    DeviceChangeOutcome outcome = RunWithProgress(DICS_PROPCHANGE);
    HWND statusBar = GetDlgItem(GetParent(list), IDC_STATUS_BAR);
    RefreshStatusBar(statusBar);
    // Only a filter taken off the drives waits for their restart to take effect.
    TellDeviceChangeOutcome(GetParent(list), outcome, parked);
    Report(list, failures);
    Report(list, kept);
}
