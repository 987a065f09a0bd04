#include "ui/filter_window_fixture.h"

#include "res/resource.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"

GroupRecord FilterWindowTest::groupRecord;
WNDPROC FilterWindowTest::originalListProc;

void FilterWindowTest::SetUp()
{
    groupRecord = GroupRecord{};
}

void FilterWindowTest::TearDown()
{
    CloseWindow();
}

void FilterWindowTest::WriteDescriptions(const std::string& content)
{
    directory_.Write(L"descriptions.ini", content.data(), content.size());
}

INT_PTR CALLBACK FilterWindowTest::HostProc(HWND, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY)
        return HandleFilterListNotify(reinterpret_cast<NMHDR*>(lParam));
    return 0;
}

LRESULT CALLBACK FilterWindowTest::RecordingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LVM_INSERTGROUP) {
        auto* group = reinterpret_cast<LVGROUP*>(lParam);
        groupRecord.groups.push_back({static_cast<int>(wParam), group->iGroupId,
                                      (group->mask & LVGF_HEADER) && group->pszHeader ? group->pszHeader : L"",
                                      group->cbSize});
    } else if (message == LVM_ENABLEGROUPVIEW) {
        groupRecord.groupViewEnabled = wParam != 0;
    } else if (message == LVM_INSERTITEMW) {
        auto* item = reinterpret_cast<LVITEMW*>(lParam);
        if ((item->mask & LVIF_GROUPID) && (item->mask & LVIF_PARAM))
            groupRecord.itemGroups[reinterpret_cast<const FilterItem*>(item->lParam)->name].push_back(item->iGroupId);
    }
    return CallWindowProcW(originalListProc, window, message, wParam, lParam);
}

void FilterWindowTest::OpenWindow()
{
    CreateHost();
    FillList();
}

void FilterWindowTest::CreateHost()
{
    host = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, HostProc, 0);
    ASSERT_NE(host, nullptr);
    list = GetDlgItem(host, IDC_FILTER_LIST);
    statusBar = GetDlgItem(host, IDC_STATUS_BAR);
    originalListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingListProc)));
    ShowWindow(host, SW_SHOW);
    SetUpFilterList(list);
}

void FilterWindowTest::FillList()
{
    PopulateFilterList(list);
    UpdateWindow(host);
}

void FilterWindowTest::CloseWindow()
{
    if (host) {
        DestroyWindow(host);
        host = nullptr;
        list = nullptr;
    }
}

int FilterWindowTest::RowCount() const
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

std::wstring FilterWindowTest::RowText(int row, int column) const
{
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

int FilterWindowTest::RowImage(int row) const
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

UINT FilterWindowTest::RowState(int row) const
{
    return GetFilterItemState(list, row);
}

const FilterItem* FilterWindowTest::Row(int row) const
{
    return FilterItemOfRow(list, row);
}

const wchar_t* FilterWindowTest::RowName(int row) const
{
    const FilterItem* item = Row(row);
    return item ? item->name : nullptr;
}

int FilterWindowTest::FindRow(const std::wstring& name, int group) const
{
    for (int row = 0; row < RowCount(); ++row) {
        const FilterItem* item = Row(row);
        if (item && name == item->name && item->group == group)
            return row;
    }
    return -1;
}

void FilterWindowTest::Select(int row)
{
    LVITEMW item{};
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

namespace {

// A list notification as the control sends it to its parent; `T` starts with its NMHDR.
template <typename T>
T ListNotification(HWND list, UINT code)
{
    T notify{};
    notify.hdr.hwndFrom = list;
    notify.hdr.idFrom = IDC_FILTER_LIST;
    notify.hdr.code = code;
    return notify;
}

} // namespace

void FilterWindowTest::SendKeyDown(WORD key)
{
    auto notify = ListNotification<NMLVKEYDOWN>(list, LVN_KEYDOWN);
    notify.wVKey = key;
    SendMessageW(host, WM_NOTIFY, IDC_FILTER_LIST, reinterpret_cast<LPARAM>(&notify));
}

void FilterWindowTest::ClickAt(int row, bool onCheckBox)
{
    // Where the control itself draws the row: the check box sits left of the icon.
    RECT icon{};
    icon.left = LVIR_ICON;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon));
    RECT label{};
    label.left = LVIR_LABEL;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&label));
    auto notify = ListNotification<NMITEMACTIVATE>(list, NM_CLICK);
    notify.iItem = row;
    notify.ptAction.y = (icon.top + icon.bottom) / 2;
    notify.ptAction.x = onCheckBox ? icon.left - GetSystemMetrics(SM_CXMENUCHECK) / 2 : (label.left + label.right) / 2;
    SendMessageW(host, WM_NOTIFY, IDC_FILTER_LIST, reinterpret_cast<LPARAM>(&notify));
}

void FilterWindowTest::DoubleClick(int row)
{
    auto notify = ListNotification<NMITEMACTIVATE>(list, NM_DBLCLK);
    notify.iItem = row;
    SendMessageW(host, WM_NOTIFY, IDC_FILTER_LIST, reinterpret_cast<LPARAM>(&notify));
}
