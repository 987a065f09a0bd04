#include "ui/filter_operations.h"

#include "base/error_box.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "services/drive_health.h"
#include "services/driver_status.h"
#include "services/progress_window.h"
#include "services/service_info.h"
#include "ui/device_change_notice.h"
#include "ui/filter_list.h"

#include <commctrl.h>
#include <setupapi.h>
#include <shellapi.h>

#include <string>

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

// Moves the row's check box between active and parked only once the registry has
// changed, so the list never shows a state the class key does not hold. The name
// moves in both groups, and only the edit of the row's own group decides the row.
void ChangeRows(HWND list, const wchar_t* name, bool activate, ChangeFailures* failures)
{
    for (int index = FindRow(list, name, -1); index >= 0; index = FindRow(list, name, index)) {
        FilterGroupEdits edits;
        bool changed = activate ? ActivateFilter(name, &edits) : DeactivateFilter(name, &edits);
        if (!changed)
            failures->Add(name, GetLastError());
        if (!(FilterItemGroup(name) == FilterGroupUpper ? edits.upper : edits.lower))
            continue;
        UINT state = GetFilterItemState(list, index);
        if (activate && (state == Parked || state == ParkedMissing))
            ++state;
        else if (!activate && (state == Active || state == ActiveMissing))
            --state;
        LVITEMW item{};
        item.state = INDEXTOSTATEIMAGEMASK(state);
        item.stateMask = FilterItemStateMask;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

} // namespace

void DeactivateFilterItems(HWND list, const wchar_t* name)
{
    ChangeFailures failures;
    ChangeRows(list, name, false, &failures);
    Report(list, failures);
}

void ActivateFilterItems(HWND list, const wchar_t* name)
{
    ChangeFailures failures;
    ChangeRows(list, name, true, &failures);
    Report(list, failures);
}

void ConfirmAndDeleteFilter(HWND list, const wchar_t* name, const wchar_t* valueName)
{
    int answer = ShellMessageBoxW(GetModuleHandleW(nullptr), list, MAKEINTRESOURCEW(IDS_DELETE_CONFIRM),
                                  MAKEINTRESOURCEW(IDS_DELETE_CAPTION), MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                                  name);
    if (answer != IDYES)
        return;
    // Each row owns its copy, so the address finds exactly one row. That copy is
    // freed with the row; the registry change comes first and uses the name while
    // it is still valid.
    int index = FindRow(list, name, -1);
    if (index < 0)
        return;
    ChangeFailures failures;
    if (DeleteFilter(valueName, name))
        SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    else
        failures.Add(name, GetLastError());
    Report(list, failures);
}

void FixProblemsAutomatically(HWND list)
{
    ChangeFailures failures;
    for (int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_ALL));
         index >= 0;
         index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_ALL))) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
            continue;
        auto* name = reinterpret_cast<const wchar_t*>(item.lParam);
        ServiceInfo info{};
        QueryServiceInfo(name, &info);
        // State 0: the manager or the service could not be asked, so a running filter
        // may stand here. A running one stays even when its configuration was unreadable.
        if (info.currentState != 0 && info.currentState != SERVICE_RUNNING)
            ChangeRows(list, name, false, &failures);
    }
    DeviceChangeOutcome outcome = RunWithProgress(DICS_PROPCHANGE);
    HWND statusBar = GetDlgItem(GetParent(list), IDC_STATUS_BAR);
    UpdateDriverStatus(statusBar);
    UpdateDriveHealth(statusBar);
    TellDeviceChangeOutcome(GetParent(list), outcome, true);
    Report(list, failures);
}
