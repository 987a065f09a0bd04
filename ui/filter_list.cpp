#include "ui/filter_list.h"

#include "base/dpi.h"
#include "base/error_box.h"
#include "base/handles.h"
#include "base/strings.h"
#include "devices/drive_health.h"
#include "devices/filter_entries.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "res/resource.h"
#include "services/running_machine.h"
#include "services/service_info.h"

#include <iterator>
#include <algorithm>
#include <cstring>

namespace {

constexpr int WatermarkSize = 128; // at 96 DPI, like the column widths
constexpr int NameColumnWidth = 100;
constexpr int StateColumnWidth = 100;

size_t liveItems; // main thread only

// `index` -1 puts the group after all others.
void InsertGroup(HWND list, int groupId, const std::wstring& header, int index = 0)
{
    std::wstring text = header;
    LVGROUP group{};
    group.cbSize = LVGROUP_V5_SIZE;
    group.mask = LVGF_HEADER | LVGF_GROUPID;
    group.pszHeader = text.data();
    group.iGroupId = groupId;
    SendMessageW(list, LVM_INSERTGROUP, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&group));
}

void InsertColumn(HWND list, int index, UINT headerId, int width)
{
    wchar_t header[128] = {};
    LoadStringW(ProgramModule(), headerId, header, static_cast<int>(std::size(header)));
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = width;
    column.pszText = header;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

HIMAGELIST CreateRowIcons(UINT dpi)
{
    int size = SystemMetricForDpi(SM_CXSMICON, dpi);
    HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32, 2, 2);
    if (!icons)
        return nullptr;
    for (UINT id : {IDI_SERVICE_RUNNING, IDI_SERVICE_NOT_RUNNING}) {
        UniqueIcon icon(LoadIconAtSize(ProgramModule(), id, size));
        if (icon)
            ImageList_ReplaceIcon(icons, -1, icon.get());
    }
    return icons;
}

HIMAGELIST CreateCheckBoxImages(UINT dpi)
{
    int cx = SystemMetricForDpi(SM_CXMENUCHECK, dpi);
    int cy = SystemMetricForDpi(SM_CYMENUCHECK, dpi);
    HWND desktop = GetDesktopWindow();
    UniqueWindowDC screen(desktop);
    int depth = GetDeviceCaps(screen.get(), BITSPIXEL);
    HIMAGELIST images = ImageList_Create(cx, cy, static_cast<UINT>(depth) | ILC_MASK, 4, 0);
    UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
    if (!images || !memory)
        return images;
    UniqueGdiObject strip(CreateCompatibleBitmap(screen.get(), 4 * cx, cy));
    if (!strip)
        return images;
    {
        UniqueSelectObject selected(memory.get(), strip.get());
        const UINT looks[4] = {0, DFCS_CHECKED, DFCS_INACTIVE, DFCS_CHECKED | DFCS_INACTIVE};
        for (int k = 0; k < 4; ++k) {
            RECT box{k * cx, 0, (k + 1) * cx, cy};
            DrawFrameControl(memory.get(), &box, DFC_BUTTON, DFCS_BUTTONCHECK | looks[k]);
        }
    }
    ImageList_Add(images, static_cast<HBITMAP>(strip.get()), nullptr);
    return images;
}

HBITMAP CreateWatermark(HICON icon, COLORREF background, int size)
{
    HWND desktop = GetDesktopWindow();
    UniqueWindowDC screen(desktop);
    UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
    if (!memory)
        return nullptr;
    HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), size, size);
    if (!bitmap)
        return nullptr;
    UniqueSelectObject selected(memory.get(), bitmap);
    RECT area{0, 0, size, size};
    SetBkColor(memory.get(), background);
    ExtTextOutW(memory.get(), 0, 0, ETO_OPAQUE, &area, L"", 0, nullptr);
    DrawIconEx(memory.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    return bitmap;
}

void SetWatermark(HWND list, UINT dpi)
{
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(CLR_NONE));
    int size = ScaleForDpi(WatermarkSize, dpi);
    UniqueIcon icon(LoadIconAtSize(ProgramModule(), IDI_WATERMARK, size));
    if (!icon)
        return;
    COLORREF background = static_cast<COLORREF>(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
    UniqueGdiObject bitmap(CreateWatermark(icon.get(), background, size));
    if (!bitmap)
        return;
    LVBKIMAGEW image{};
    image.ulFlags = LVBKIF_TYPE_WATERMARK;
    image.hbm = static_cast<HBITMAP>(bitmap.get());
    image.xOffsetPercent = 100;
    image.yOffsetPercent = 100;
    // The list owns the bitmap once it has taken it.
    if (SendMessageW(list, LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&image)))
        bitmap.release();
}

void SetColumnText(HWND list, int index, int subItem, const wchar_t* text)
{
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

// `at` is the index to insert at: the class's rows go in front of all others, each
// in front of the one before, and a drive's rows after all others.
void AddFilterRow(HWND list, const FilterEntry& entry, int groupId, int at)
{
    const wchar_t* name = entry.name.c_str();
    FilterItem* row = NewFilterItem(name, entry.level ? FilterGroupUpper : FilterGroupLower, entry.place,
                                    entry.drive.c_str(), entry.driveName.c_str());
    if (!row)
        return;
    row->groupId = groupId;
    // Cleared for every row: a query that cannot reach the service manager must not
    // show the previous row's description as this one's.
    ServiceInfo info{};
    bool present = QueryServiceInfo(name, &info);

    // A drive's row always says which drive, as a list without groups shows none;
    // the description column is the one wide enough to show it.
    std::wstring text = present ? info.displayName : name;
    std::wstring description = info.description;
    if (entry.place != FilterPlace::Class)
        description = FormatProgramString(IDS_DRIVE_ROW, {description, entry.driveName});
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_GROUPID;
    item.iItem = at;
    item.pszText = text.data();
    item.iImage = (present && info.currentState == SERVICE_RUNNING) ? 0 : 1;
    item.lParam = reinterpret_cast<LPARAM>(row);
    // A declarative filter has no check box: its driver package owns it.
    UINT state = entry.place == FilterPlace::Declarative ? FilterItemStateNone
                 : present                              ? (entry.active ? Active : Parked)
                                                        : (entry.active ? ActiveMissing : ParkedMissing);
    item.state = INDEXTOSTATEIMAGEMASK(state);
    item.stateMask = FilterItemStateMask;
    item.iGroupId = groupId;
    int index = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) {
        DeleteFilterItem(row);
        return;
    }
    SetColumnText(list, index, 1, description.c_str());
    wchar_t stateText[DisplayTextLength];
    LoadServiceStateText(info.currentState, stateText);
    SetColumnText(list, index, 2, stateText);
}

// The list-view group of a drive's filters of `level` (0 lower, 1 upper); the
// drive is its place among the present ones.
int DriveGroupId(size_t drive, int level)
{
    return 2 + static_cast<int>(drive) * 2 + level;
}

} // namespace

FilterItem* NewFilterItem(const wchar_t* name, FilterGroup group, FilterPlace place, const wchar_t* drive,
                          const wchar_t* driveName)
{
    size_t nameLength = wcslen(name) + 1;
    size_t driveLength = wcslen(drive) + 1;
    size_t driveNameLength = wcslen(driveName) + 1;
    void* block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT,
                             sizeof(FilterItem) + (nameLength + driveLength + driveNameLength) * sizeof(wchar_t));
    if (!block)
        return nullptr;
    auto* item = static_cast<FilterItem*>(block);
    auto* texts = reinterpret_cast<wchar_t*>(item + 1);
    std::memcpy(texts, name, nameLength * sizeof(wchar_t));
    std::memcpy(texts + nameLength, drive, driveLength * sizeof(wchar_t));
    std::memcpy(texts + nameLength + driveLength, driveName, driveNameLength * sizeof(wchar_t));
    *item = FilterItem{group, group, place, texts, texts + nameLength, texts + nameLength + driveLength};
    ++liveItems;
    return item;
}

void DeleteFilterItem(FilterItem* item)
{
    if (!item)
        return;
    LocalFree(item);
    --liveItems;
}

size_t LiveFilterItems()
{
    return liveItems;
}

const FilterItem* FilterItemOfRow(HWND list, int index)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<const FilterItem*>(item.lParam);
}

int DescriptionColumnWidth(int clientWidth, UINT dpi)
{
    return std::max(0, clientWidth - ScaleForDpi(NameColumnWidth + StateColumnWidth, dpi));
}

UINT GetFilterItemState(HWND list, int index)
{
    LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(index), FilterItemStateMask);
    return static_cast<UINT>(state) >> 12;
}

void SetUpFilterList(HWND list)
{
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);

    InsertGroup(list, FilterGroupLower, LoadProgramString(IDS_GROUP_LOWER));
    InsertGroup(list, FilterGroupUpper, LoadProgramString(IDS_GROUP_UPPER));
    SendMessageW(list, LVM_ENABLEGROUPVIEW, TRUE, 0);

    UINT dpi = WindowDpi(list);
    InsertColumn(list, 0, IDS_COLUMN_NAME, ScaleForDpi(NameColumnWidth, dpi));
    RECT client{};
    GetClientRect(list, &client);
    InsertColumn(list, 1, IDS_COLUMN_DESCRIPTION, DescriptionColumnWidth(client.right, dpi));
    InsertColumn(list, 2, IDS_COLUMN_STATE, ScaleForDpi(StateColumnWidth, dpi));
    SetListPictures(list, dpi);
}

void SetListPictures(HWND list, UINT dpi)
{
    // The list hands back the lists it showed before; it owns only those it shows.
    if (HIMAGELIST icons = CreateRowIcons(dpi))
        ImageList_Destroy(reinterpret_cast<HIMAGELIST>(
            SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons))));
    if (HIMAGELIST boxes = CreateCheckBoxImages(dpi))
        ImageList_Destroy(reinterpret_cast<HIMAGELIST>(
            SendMessageW(list, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(boxes))));
    SetWatermark(list, dpi);
}

void RescaleFilterList(HWND list, UINT fromDpi, UINT toDpi)
{
    // Widths the user may have dragged keep their share of the list.
    for (int column = 0; column < 3; ++column) {
        int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                     MAKELPARAM(RescaleForDpi(width, fromDpi, toDpi), 0));
    }
    SetListPictures(list, toDpi);
}

void PopulateFilterList(HWND list)
{
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(RunningMachine(), CdromClass(), FilterClassReadAccess, key.put());
    if (status != ERROR_SUCCESS) {
        ShowSystemErrorBox(GetParent(list), static_cast<DWORD>(status));
        return;
    }
    key.reset();
    std::vector<DriveHealth> drives;
    ReadDrives(CdromClass(), &drives);
    // A value that cannot be read shows no rows, as an absent one does.
    std::vector<FilterEntry> entries;
    ReadFilterEntries(RunningMachine(), CdromClass(), drives, &entries);

    // Unless told otherwise the list updates its scroll bars and invalidates itself
    // after every row; once, at the end, is enough.
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    int lastDriveGroup = -1;
    size_t drive = 0;
    for (const FilterEntry& entry : entries) {
        if (entry.place == FilterPlace::Class) {
            AddFilterRow(list, entry, entry.level, 0);
            continue;
        }
        // The drives' entries come drive by drive, each group's together, after
        // the class's; their groups go after all others.
        while (drive < drives.size() && !MultiSzNamesMatch(drives[drive].instanceId.c_str(), entry.drive.c_str()))
            ++drive;
        int groupId = DriveGroupId(drive, entry.level);
        if (groupId != lastDriveGroup) {
            InsertGroup(list, groupId,
                        FormatProgramString(entry.level ? IDS_GROUP_DRIVE_UPPER : IDS_GROUP_DRIVE_LOWER,
                                            {entry.driveName}),
                        -1);
            lastDriveGroup = groupId;
        }
        AddFilterRow(list, entry, groupId, static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}
