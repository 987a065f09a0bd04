#include "ui/filter_commands.h"

#include "base/handles.h"
#include "base/strings.h"
#include "res/resource.h"
#include "services/driver_loader.h"
#include "services/service_info.h"
#include "ui/filter_list.h"
#include "ui/filter_operations.h"
#include "ui/properties_dialog.h"

namespace {

int RealTrackPopupMenu(HMENU popup, UINT flags, int x, int y, HWND owner)
{
    return TrackPopupMenu(popup, flags, x, y, 0, owner, nullptr);
}

bool FromFilterList(const NMHDR* header)
{
    return header->idFrom == IDC_FILTER_LIST;
}

bool ReadRow(HWND list, int index, UINT mask, LVITEMW* item, UINT stateMask = FilterItemStateMask)
{
    *item = LVITEMW{};
    item->mask = mask;
    item->iItem = index;
    item->stateMask = stateMask;
    return SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item)) != FALSE;
}

// Check-box toggle of a row: only the two states of a present service react.
void ToggleRow(HWND list, const LVITEMW& item)
{
    auto* row = reinterpret_cast<const FilterItem*>(item.lParam);
    UINT state = (item.state & FilterItemStateMask) >> 12;
    if (state == Active)
        DeactivateFilterItems(list, row);
    else if (state == Parked)
        ActivateFilterItems(list, row);
}

void ApplyLook(HMENU popup, UINT command, MenuItemLook look)
{
    switch (look) {
    case MenuItemLook::Removed:
        DeleteMenu(popup, command, MF_BYCOMMAND);
        break;
    case MenuItemLook::Grayed:
        EnableMenuItem(popup, command, MF_BYCOMMAND | MF_GRAYED);
        break;
    case MenuItemLook::Enabled:
        EnableMenuItem(popup, command, MF_BYCOMMAND | MF_ENABLED);
        break;
    }
}

// The row a context-menu request is for, and where its menu opens (screen
// coordinates); -1 for none. The menu key sends (-1, -1): that is no place on
// screen, so it means the selected row, with the menu beside it.
int ContextMenuRow(HWND list, int* x, int* y)
{
    if (*x == -1 && *y == -1) {
        int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        RECT label{};
        label.left = LVIR_LABEL;
        if (index < 0 ||
            !SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&label)))
            return -1;
        POINT at{label.left, label.bottom};
        ClientToScreen(list, &at);
        *x = at.x;
        *y = at.y;
        return index;
    }
    LVHITTESTINFO hit{};
    hit.pt = POINT{*x, *y};
    ScreenToClient(list, &hit.pt);
    return static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

} // namespace

FilterMenuCalls filterMenuCalls = {RealTrackPopupMenu};

BOOL HandleFilterListNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_KEYDOWN:
        return HandleFilterListKeyDown(header);
    case NM_CLICK:
        return HandleFilterListClick(header);
    case NM_DBLCLK:
        return HandleFilterListDoubleClick(header);
    case LVN_DELETEITEM:
        // The row is gone, from a delete or from the list's destruction: its record
        // has no further reader.
        if (FromFilterList(header))
            DeleteFilterItem(reinterpret_cast<FilterItem*>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL HandleFilterListKeyDown(NMHDR* header)
{
    auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
    if (!FromFilterList(header) || key->wVKey != VK_SPACE)
        return FALSE;
    HWND list = header->hwndFrom;
    int index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (index < 0)
        return FALSE;
    LVITEMW item;
    if (ReadRow(list, index, LVIF_PARAM | LVIF_STATE, &item))
        ToggleRow(list, item);
    return FALSE;
}

BOOL HandleFilterListClick(NMHDR* header)
{
    if (!FromFilterList(header))
        return FALSE;
    auto* click = reinterpret_cast<NMITEMACTIVATE*>(header);
    HWND list = header->hwndFrom;
    LVHITTESTINFO hit{};
    hit.pt = click->ptAction;
    SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    LVITEMW item;
    if (!ReadRow(list, click->iItem, LVIF_PARAM | LVIF_STATE, &item, FilterItemStateMask | LVIS_SELECTED))
        return FALSE;
    if (hit.flags != LVHT_ONITEMSTATEICON)
        return FALSE;
    ToggleRow(list, item);
    return FALSE;
}

BOOL HandleFilterListDoubleClick(NMHDR* header)
{
    auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
    if (!FromFilterList(header) || activate->iItem < 0)
        return FALSE;
    HWND list = header->hwndFrom;
    LVITEMW item;
    if (ReadRow(list, activate->iItem, LVIF_PARAM, &item))
        ShowPropertiesDialog(GetParent(list), reinterpret_cast<const FilterItem*>(item.lParam));
    return FALSE;
}

FilterMenuPlan PlanFilterContextMenu(UINT stateImage, DWORD currentState, DWORD controlsAccepted)
{
    // Start from the template: row commands enabled, driver commands grey.
    FilterMenuPlan plan{MenuItemLook::Enabled, MenuItemLook::Enabled, MenuItemLook::Enabled,
                        MenuItemLook::Grayed,  MenuItemLook::Grayed,  MenuItemLook::Grayed};
    if (stateImage == Active) {
        plan.activate = MenuItemLook::Removed;
    } else if (stateImage == Parked) {
        plan.deactivate = MenuItemLook::Removed;
    } else {
        plan.activate = MenuItemLook::Removed;
        plan.deactivate = MenuItemLook::Removed;
    }

    if (currentState == ServiceStateNotFound) {
        plan.activate = MenuItemLook::Removed;
        plan.startDriver = MenuItemLook::Grayed;
        plan.restartDriver = MenuItemLook::Removed;
        plan.stopDriver = MenuItemLook::Removed;
    } else if (currentState == SERVICE_RUNNING) {
        plan.startDriver = MenuItemLook::Grayed;
    } else {
        plan.startDriver = MenuItemLook::Enabled;
        plan.stopDriver = MenuItemLook::Grayed;
        plan.restartDriver = MenuItemLook::Grayed;
    }

    // Whether the service takes a stop decides Stop and Restart; removed stays removed.
    MenuItemLook stopLook = (controlsAccepted & SERVICE_ACCEPT_STOP) ? MenuItemLook::Enabled : MenuItemLook::Grayed;
    if (plan.stopDriver != MenuItemLook::Removed)
        plan.stopDriver = stopLook;
    if (plan.restartDriver != MenuItemLook::Removed)
        plan.restartDriver = stopLook;
    return plan;
}

void ShowFilterContextMenu(HWND list, int x, int y)
{
    int index = ContextMenuRow(list, &x, &y);
    if (index < 0)
        return;

    UniqueMenu menu(LoadMenuW(ProgramModule(), MAKEINTRESOURCEW(IDR_ITEM_MENU)));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (!popup)
        return;
    SetMenuDefaultItem(popup, IDM_ITEM_PROPERTIES, FALSE);

    LVITEMW item;
    if (!ReadRow(list, index, LVIF_PARAM, &item))
        return;
    auto* row = reinterpret_cast<const FilterItem*>(item.lParam);
    const wchar_t* name = row->name;
    ServiceInfo info{};
    QueryServiceInfo(name, &info);

    FilterMenuPlan plan = PlanFilterContextMenu(GetFilterItemState(list, index), info.currentState,
                                                info.controlsAccepted);
    // A declarative filter belongs to its driver package: only shown, never removed here.
    if (row->place == FilterPlace::Declarative)
        plan.remove = MenuItemLook::Removed;
    ApplyLook(popup, IDM_ITEM_DEACTIVATE, plan.deactivate);
    ApplyLook(popup, IDM_ITEM_ACTIVATE, plan.activate);
    ApplyLook(popup, IDM_ITEM_DELETE, plan.remove);
    ApplyLook(popup, IDM_START_DRIVER, plan.startDriver);
    ApplyLook(popup, IDM_STOP_DRIVER, plan.stopDriver);
    ApplyLook(popup, IDM_RESTART_DRIVER, plan.restartDriver);

    int command = filterMenuCalls.trackPopupMenu(popup, TPM_RETURNCMD, x, y, list);
    switch (command) {
    case IDM_ITEM_DEACTIVATE:
        DeactivateFilterItems(list, row);
        break;
    case IDM_ITEM_ACTIVATE:
        ActivateFilterItems(list, row);
        break;
    case IDM_ITEM_DELETE:
        ConfirmAndDeleteFilter(list, row);
        break;
    case IDM_ITEM_PROPERTIES:
        ShowPropertiesDialog(GetParent(list), row);
        break;
    case IDM_START_DRIVER:
        LoadDriver(name);
        RefreshFilterItem(list, &item);
        break;
    case IDM_STOP_DRIVER:
        UnloadDriver(name);
        RefreshFilterItem(list, &item);
        break;
    case IDM_RESTART_DRIVER:
        UnloadDriver(name);
        LoadDriver(name);
        RefreshFilterItem(list, &item);
        break;
    default:
        break;
    }
}

void RefreshFilterItem(HWND list, LVITEMW* item)
{
    auto* row = reinterpret_cast<const FilterItem*>(item->lParam);
    ServiceInfo info{};
    bool present = QueryServiceInfo(row->name, &info);
    item->mask = LVIF_PARAM | LVIF_GROUPID | LVIF_IMAGE;
    item->iImage = (present && info.currentState == SERVICE_RUNNING) ? 0 : 1;
    item->iGroupId = row->groupId;
    item->iSubItem = 0;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item));

    wchar_t stateText[DisplayTextLength];
    LoadServiceStateText(info.currentState, stateText);
    LVITEMW text{};
    text.iSubItem = 2;
    text.pszText = stateText;
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item->iItem), reinterpret_cast<LPARAM>(&text));
}
