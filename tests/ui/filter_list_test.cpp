// Setting the list up and filling it from the class key.
#include "base/handles.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "ui/filter_list.h"
#include "ui/filter_window_fixture.h"

#include <gtest/gtest.h>

namespace {

class FilterListTest : public FilterWindowTest {};

TEST_F(FilterListTest, SetUpGivesGroupsColumnsAndPictures)
{
    OpenWindow();
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);

    ASSERT_EQ(groupRecord.groups.size(), 2u);
    EXPECT_EQ(groupRecord.groups[0].id, 0);
    EXPECT_EQ(groupRecord.groups[0].header, L"LowerFilters Driver");
    EXPECT_EQ(groupRecord.groups[1].id, 1);
    EXPECT_EQ(groupRecord.groups[1].header, L"UpperFilters Driver");
    // Both at position 0: the upper group, inserted second, stands above.
    EXPECT_EQ(groupRecord.groups[0].position, 0);
    EXPECT_EQ(groupRecord.groups[1].position, 0);
    EXPECT_EQ(groupRecord.groups[0].cbSize, LVGROUP_V5_SIZE);
    EXPECT_TRUE(groupRecord.groupViewEnabled);

    RECT client{};
    GetClientRect(list, &client);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 100);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), client.right - 200);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 100);

    HIMAGELIST icons = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(icons, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(icons), 2);
    HIMAGELIST boxes = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
    ASSERT_NE(boxes, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(boxes), 4);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(boxes, &cx, &cy);
    EXPECT_EQ(cx, GetSystemMetrics(SM_CXMENUCHECK));
    EXPECT_EQ(cy, GetSystemMetrics(SM_CYMENUCHECK));

    // State image k (1 to 4) must be the check box the rows' states mean: a swap
    // would show a parked filter as active.
    const UINT looks[] = {0, DFCS_CHECKED, DFCS_INACTIVE, DFCS_CHECKED | DFCS_INACTIVE};
    for (int k = 0; k < 4; ++k) {
        auto drawn = Picture(cx, cy, [&](HDC dc) { ImageList_Draw(boxes, k, dc, 0, 0, ILD_NORMAL); });
        auto expected = Picture(cx, cy, [&](HDC dc) {
            RECT box{0, 0, cx, cy};
            DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | looks[k]);
        });
        ASSERT_FALSE(drawn.empty());
        EXPECT_TRUE(drawn == expected) << "state image " << k + 1 << " is not the check box its state means";
    }
}

TEST(ServiceStateTextTest, EveryStateHasItsOwnWordsAndNoneBorrowsAnother)
{
    const wchar_t* const expected[] = {L"Unknown", L"Stopped", L"Starting", L"Stopping", L"Started",
                                       L"Continue", L"Pausing", L"Paused", L"Not found", L"Unknown"};
    for (DWORD state = 0; state < std::size(expected); ++state) {
        wchar_t text[DisplayTextLength];
        LoadServiceStateText(state, text);
        EXPECT_STREQ(text, expected[state]) << "state " << state;
    }
}

TEST(DescriptionColumn, TakesWhatTheOtherTwoLeaveAtTheirDpiAndNeverLess)
{
    struct Case {
        int clientWidth;
        UINT dpi;
        int expected;
    };
    // The other two columns are 100 pixels each at 96 DPI, 150 at 144, 200 at 192.
    const Case cases[] = {{600, 96, 400}, {200, 96, 0}, {150, 96, 0}, {0, 96, 0},
                          {900, 144, 600}, {300, 144, 0}, {299, 144, 0}, {1200, 192, 800}};
    for (const Case& c : cases)
        EXPECT_EQ(DescriptionColumnWidth(c.clientWidth, c.dpi), c.expected)
            << c.clientWidth << " pixels at " << c.dpi << " DPI";
}

TEST_F(FilterListTest, RowsShowNameServiceAndCheckBoxForEverySituation)
{
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"\\SystemRoot\\system32\\drivers\\qmstop.sys"));
    ASSERT_TRUE(CreateDriverService(L"QmPark", L"\\SystemRoot\\system32\\drivers\\qmpark.sys"));
    WriteDescriptions("[en]\nQmGone=Left behind by an uninstalled burner\n");
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop", L"QmGone"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmRun"});
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmPark"});
    OpenWindow();

    // Every row is inserted in front of the others: reading order reversed.
    ASSERT_EQ(RowCount(), 4);
    EXPECT_STREQ(RowName(0), L"QmPark");
    EXPECT_STREQ(RowName(1), L"QmRun");
    EXPECT_STREQ(RowName(2), L"QmGone");
    EXPECT_STREQ(RowName(3), L"QmStop");

    // Parked, service present and stopped.
    EXPECT_EQ(RowState(0), static_cast<UINT>(Parked));
    EXPECT_EQ(RowImage(0), 1);
    EXPECT_EQ(RowText(0, 2), L"Stopped");
    // Active, service running.
    EXPECT_EQ(RowState(1), static_cast<UINT>(Active));
    EXPECT_EQ(RowImage(1), 0);
    EXPECT_EQ(RowText(1, 2), L"Started");
    // Active, no service: the listed name, the file's description, greyed box.
    EXPECT_EQ(RowState(2), static_cast<UINT>(ActiveMissing));
    EXPECT_EQ(RowImage(2), 1);
    EXPECT_EQ(RowText(2, 0), L"QmGone");
    EXPECT_EQ(RowText(2, 1), L"Left behind by an uninstalled burner");
    EXPECT_EQ(RowText(2, 2), L"Not found");
    // Active, present, stopped.
    EXPECT_EQ(RowState(3), static_cast<UINT>(Active));
    EXPECT_EQ(RowText(3, 2), L"Stopped");

    // The groups the program gave the control, and the ones it keeps itself.
    EXPECT_EQ(groupRecord.itemGroups[L"QmStop"], std::vector<int>{0});
    EXPECT_EQ(groupRecord.itemGroups[L"QmRun"], std::vector<int>{1});
    EXPECT_EQ(groupRecord.itemGroups[L"QmPark"], std::vector<int>{1});
    EXPECT_EQ(Row(0)->group, FilterGroupUpper);
    EXPECT_EQ(Row(3)->group, FilterGroupLower);
}

// Wine cannot refuse an administrator a service: the query's open refuses QmStop.
SC_HANDLE WINAPI RefuseQmStop(SC_HANDLE manager, const wchar_t* name, DWORD access)
{
    if (lstrcmpiW(name, L"QmStop") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return OpenServiceW(manager, name, access);
}

TEST_F(FilterListTest, ARowWhoseQueryFailsShowsNothingOfTheRowBefore)
{
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmRun", L"QmStop"});
    {
        SwappedSeam services(serviceInfoCalls);
        serviceInfoCalls.openService = RefuseQmStop;
        OpenWindow();
    }
    ASSERT_EQ(RowCount(), 2);
    EXPECT_EQ(RowText(1, 2), L"Started");
    EXPECT_STREQ(RowName(0), L"QmStop");
    EXPECT_EQ(RowText(0, 0), L"QmStop");
    EXPECT_EQ(RowText(0, 2), L"Unknown");
    EXPECT_EQ(RowImage(0), 1);
}

TEST_F(FilterListTest, TheRowTextIsTheServiceDisplayName)
{
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    DeleteServiceIfPresent(L"QmStop");
    UniqueServiceHandle service(CreateServiceW(manager.get(), L"QmStop", L"Stopped test filter",
                                               SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                               SERVICE_ERROR_NORMAL, L"C:\\qmstop.sys", nullptr, nullptr, nullptr,
                                               nullptr, nullptr));
    ASSERT_TRUE(service);
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop"});
    OpenWindow();
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(RowText(0), L"Stopped test filter");
    EXPECT_STREQ(RowName(0), L"QmStop");
}

TEST_F(FilterListTest, LongValuesListEveryNameAndAnEmptyFirstEntryListsNone)
{
    std::vector<std::wstring> many;
    for (int i = 0; i < 60; ++i)
        many.push_back(L"QmLongListFilter" + std::to_wstring(i));
    WriteClassMultiSz(LowerFiltersValue, many);
    ASSERT_GT(ReadClassValue(LowerFiltersValue).data.size(), 520u);
    WriteClassMultiSz(UpperFiltersValue, {L"", L"hidden"});
    OpenWindow();
    ASSERT_EQ(RowCount(), 60);
    EXPECT_STREQ(RowName(0), L"QmLongListFilter59");
    EXPECT_STREQ(RowName(59), L"QmLongListFilter0");
    // The fill holds the list's drawing back; unless it hands it back, the rows stay
    // undrawn and out of reach of a scroll bar.
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(FilterListTest, ParkedRowsGetTheirCheckBoxWithoutAnActiveValue)
{
    ASSERT_TRUE(CreateDriverService(L"QmPark", L"C:\\qmpark.sys"));
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmPark"});
    OpenWindow();
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(RowState(0), static_cast<UINT>(Parked));
}

TEST_F(FilterListTest, EachRowOwnsItsNameCopyUntilTheRowIsGone)
{
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    size_t before = LiveFilterItems();
    OpenWindow();
    ASSERT_EQ(RowCount(), 2);
    EXPECT_NE(RowName(0), RowName(1));
    EXPECT_EQ(LiveFilterItems(), before + 2);
    CloseWindow();
    EXPECT_EQ(LiveFilterItems(), before);
}

TEST_F(FilterListTest, AnUnreadableClassKeyShowsOneErrorBoxAndAnEmptyList)
{
    {
        NoAccessClassKey noAccess;
        ASSERT_TRUE(noAccess.applied());
        CreateHost();
        DialogWatcher watcher(IDOK);
        FillList();
        ASSERT_TRUE(watcher.Wait());
        EXPECT_EQ(watcher.seen().owner, host);
        std::wstring expected = SystemMessage(ERROR_ACCESS_DENIED);
        EXPECT_NE(watcher.AllText().find(expected), std::wstring::npos) << Narrow(watcher.AllText());
    }
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 100);
}

} // namespace
