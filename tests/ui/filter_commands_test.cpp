// The user's hand on a row: space key, check-box click, double-click, row menu.
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "services/driver_loader.h"
#include "services/service_info.h"
#include "support/fake_installer.h"
#include "ui/filter_commands.h"
#include "ui/filter_list.h"
#include "ui/filter_window_fixture.h"

#include <cfgmgr32.h>
#include <gtest/gtest.h>

namespace {

using Look = MenuItemLook;

TEST(FilterMenuPlanTest, ActiveRowOfARunningServiceThatAcceptsAStop)
{
    FilterMenuPlan plan = PlanFilterContextMenu(Active, SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
    EXPECT_EQ(plan.deactivate, Look::Enabled);
    EXPECT_EQ(plan.activate, Look::Removed);
    EXPECT_EQ(plan.remove, Look::Enabled);
    EXPECT_EQ(plan.startDriver, Look::Grayed);
    EXPECT_EQ(plan.stopDriver, Look::Enabled);
    EXPECT_EQ(plan.restartDriver, Look::Enabled);
    // Running, but refusing the stop: nothing to start, nothing that can stop it.
    plan = PlanFilterContextMenu(Active, SERVICE_RUNNING, 0);
    EXPECT_EQ(plan.stopDriver, Look::Grayed);
    EXPECT_EQ(plan.restartDriver, Look::Grayed);
}

TEST(FilterMenuPlanTest, ParkedRowOfAStoppedService)
{
    FilterMenuPlan plan = PlanFilterContextMenu(Parked, SERVICE_STOPPED, 0);
    EXPECT_EQ(plan.deactivate, Look::Removed);
    EXPECT_EQ(plan.activate, Look::Enabled);
    EXPECT_EQ(plan.remove, Look::Enabled);
    EXPECT_EQ(plan.startDriver, Look::Enabled);
    EXPECT_EQ(plan.stopDriver, Look::Grayed);
    EXPECT_EQ(plan.restartDriver, Look::Grayed);
}

TEST(FilterMenuPlanTest, RowWithoutAServiceOffersOnlyDeleteAndAGreyStart)
{
    for (UINT state : {ActiveMissing, ParkedMissing}) {
        FilterMenuPlan plan = PlanFilterContextMenu(state, ServiceStateNotFound, 0);
        EXPECT_EQ(plan.deactivate, Look::Removed);
        EXPECT_EQ(plan.activate, Look::Removed);
        EXPECT_EQ(plan.remove, Look::Enabled);
        EXPECT_EQ(plan.startDriver, Look::Grayed);
        EXPECT_EQ(plan.stopDriver, Look::Removed);
        EXPECT_EQ(plan.restartDriver, Look::Removed);
    }
    // An unreachable service manager leaves a cleared record: start offered, no stop.
    FilterMenuPlan plan = PlanFilterContextMenu(Active, 0, 0);
    EXPECT_EQ(plan.startDriver, Look::Enabled);
    EXPECT_EQ(plan.stopDriver, Look::Grayed);
}

// The popup as the program prepared it, and the command a test picks from it.
struct PopupRecord {
    int calls = 0;
    UINT flags = 0;
    POINT at{};
    HWND owner = nullptr;
    std::map<UINT, UINT> states; // command -> GetMenuState, or 0xFFFFFFFF when absent
    UINT defaultItem = 0;
    int choice = 0;
};
PopupRecord popup;

int RecordPopup(HMENU menu, UINT flags, int x, int y, HWND owner)
{
    ++popup.calls;
    popup.flags = flags;
    popup.at = POINT{x, y};
    popup.owner = owner;
    for (UINT id : {IDM_ITEM_DEACTIVATE, IDM_ITEM_ACTIVATE, IDM_ITEM_DELETE, IDM_START_DRIVER, IDM_STOP_DRIVER,
                    IDM_RESTART_DRIVER, IDM_ITEM_PROPERTIES})
        popup.states[id] = GetMenuState(menu, id, MF_BYCOMMAND);
    popup.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
    return popup.choice;
}

class FilterCommandsTest : public FilterWindowTest {
protected:
    void SetUp() override
    {
        FilterWindowTest::SetUp();
        popup = PopupRecord{};
        filterMenuCalls.trackPopupMenu = RecordPopup;
    }

    // Screen position of the middle of a row's label.
    POINT RowOnScreen(int row)
    {
        RECT label{};
        label.left = LVIR_LABEL;
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&label));
        POINT at{(label.left + label.right) / 2, (label.top + label.bottom) / 2};
        ClientToScreen(list, &at);
        return at;
    }

    static bool Grayed(UINT state) { return state != 0xFFFFFFFF && (state & MF_GRAYED); }
    static bool Enabled(UINT state) { return state != 0xFFFFFFFF && !(state & (MF_GRAYED | MF_DISABLED)); }
    static bool Removed(UINT state) { return state == 0xFFFFFFFF; }

    SwappedSeam<FilterMenuCalls> menu_{filterMenuCalls};
    SwappedSeam<NativeDriverCalls> driver_{nativeDriverCalls};
};

TEST_F(FilterCommandsTest, SpaceTogglesTheSelectedRowOnly)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone", L"QmStop"});
    OpenWindow();
    ASSERT_EQ(RowCount(), 2);
    ASSERT_STREQ(RowName(0), L"QmStop");

    SendKeyDown(VK_SPACE); // nothing selected
    EXPECT_EQ(RowState(0), static_cast<UINT>(Active));

    Select(0);
    SendKeyDown(VK_RETURN);
    EXPECT_EQ(RowState(0), static_cast<UINT>(Active));
    SendKeyDown(VK_SPACE); // row 0 counts as a selection
    EXPECT_EQ(RowState(0), static_cast<UINT>(Parked));
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, std::vector<std::string>{"QmStop"});
    SendKeyDown(VK_SPACE);
    EXPECT_EQ(RowState(0), static_cast<UINT>(Active));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, (std::vector<std::string>{"QmGone", "QmStop"}));

    // A greyed box of a missing service does not react.
    Select(1);
    SendKeyDown(VK_SPACE);
    EXPECT_EQ(RowState(1), static_cast<UINT>(ActiveMissing));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, (std::vector<std::string>{"QmGone", "QmStop"}));
}

TEST_F(FilterCommandsTest, OnlyAClickOnTheCheckBoxToggles)
{
    ASSERT_TRUE(CreateDriverService(L"QmPark", L"C:\\qmpark.sys"));
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmPark"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmGone"});
    OpenWindow();
    int parked = FindRow(L"QmPark", 1);
    int missing = FindRow(L"QmGone", 1);
    ASSERT_GE(parked, 0);
    ASSERT_GE(missing, 0);

    ClickAt(parked, false);
    EXPECT_EQ(RowState(parked), static_cast<UINT>(Parked));
    ClickAt(parked, true);
    EXPECT_EQ(RowState(parked), static_cast<UINT>(Active));
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, (std::vector<std::string>{"QmGone", "QmPark"}));
    EXPECT_EQ(ServiceStartType(L"QmPark"), SERVICE_BOOT_START);

    ClickAt(missing, true);
    EXPECT_EQ(RowState(missing), static_cast<UINT>(ActiveMissing));
}

TEST_F(FilterCommandsTest, NoRowNoMenu)
{
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone"});
    OpenWindow();
    RECT client{};
    GetClientRect(list, &client);
    POINT below{10, client.bottom - 5};
    ClientToScreen(list, &below);
    ShowFilterContextMenu(list, below.x, below.y);
    ShowFilterContextMenu(list, -1, -1); // from the keyboard
    EXPECT_EQ(popup.calls, 0);
}

TEST_F(FilterCommandsTest, TheMenuKeyOpensTheSelectedRowsMenuBesideIt)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone", L"QmStop"});
    OpenWindow();
    // The window sits where (-1, -1), read as a point, lies on the other row, as on
    // a monitor above and left of the primary one.
    POINT other = RowOnScreen(0);
    RECT frame{};
    GetWindowRect(host, &frame);
    SetWindowPos(host, nullptr, frame.left - 1 - other.x, frame.top - 1 - other.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_EQ(RowOnScreen(0).x, -1);
    Select(1);
    popup.choice = IDM_ITEM_DELETE;
    {
        DialogWatcher confirm(IDNO);
        ShowFilterContextMenu(list, -1, -1);
        ASSERT_TRUE(confirm.Wait());
        EXPECT_NE(confirm.AllText().find(L"\"QmGone\""), std::wstring::npos) << Narrow(confirm.AllText());
    }
    ASSERT_EQ(popup.calls, 1);
    RECT row{};
    row.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&row), 2);
    EXPECT_TRUE(popup.at.x >= row.left && popup.at.x <= row.right && popup.at.y == row.bottom)
        << popup.at.x << "," << popup.at.y;
}

TEST_F(FilterCommandsTest, MenuOfARunningActiveRow)
{
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmRun"});
    OpenWindow();
    POINT at = RowOnScreen(0);
    ShowFilterContextMenu(list, at.x, at.y);
    ASSERT_EQ(popup.calls, 1);
    EXPECT_EQ(popup.flags, static_cast<UINT>(TPM_RETURNCMD));
    EXPECT_EQ(popup.at.x, at.x);
    EXPECT_EQ(popup.at.y, at.y);
    EXPECT_EQ(popup.owner, list);
    EXPECT_TRUE(Enabled(popup.states[IDM_ITEM_DEACTIVATE]));
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_ACTIVATE]));
    EXPECT_TRUE(Enabled(popup.states[IDM_ITEM_DELETE]));
    EXPECT_TRUE(Grayed(popup.states[IDM_START_DRIVER]));
    EXPECT_TRUE(Enabled(popup.states[IDM_STOP_DRIVER]));
    EXPECT_TRUE(Enabled(popup.states[IDM_RESTART_DRIVER]));
    EXPECT_EQ(popup.defaultItem, static_cast<UINT>(IDM_ITEM_PROPERTIES));
}

TEST_F(FilterCommandsTest, MenuOfAMissingRowAndItsChoices)
{
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone"});
    OpenWindow();
    POINT at = RowOnScreen(0);
    popup.choice = IDM_ITEM_ACTIVATE; // not offered, so nothing may happen
    ShowFilterContextMenu(list, at.x, at.y);
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_DEACTIVATE]));
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_ACTIVATE]));
    EXPECT_TRUE(Enabled(popup.states[IDM_ITEM_DELETE]));
    EXPECT_TRUE(Grayed(popup.states[IDM_START_DRIVER]));
    EXPECT_TRUE(Removed(popup.states[IDM_STOP_DRIVER]));
    EXPECT_TRUE(Removed(popup.states[IDM_RESTART_DRIVER]));
    EXPECT_EQ(RowState(0), static_cast<UINT>(ActiveMissing));

    popup.choice = IDM_ITEM_DEACTIVATE;
    ShowFilterContextMenu(list, at.x, at.y);
    EXPECT_EQ(RowState(0), static_cast<UINT>(ParkedMissing));
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, std::vector<std::string>{"QmGone"});
}

// A filter a drive's driver package added belongs to the package: shown, never
// offered to be switched off or deleted.
TEST_F(FilterCommandsTest, ADeclarativeRowHasNoCheckBoxAndNoChange)
{
    FakeInstaller installer;
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0, false, {{}, {L"QmDeclared"}}}};
    OpenWindow();
    ASSERT_EQ(RowCount(), 1);
    ASSERT_EQ(Row(0)->place, FilterPlace::Declarative);
    EXPECT_EQ(RowState(0), static_cast<UINT>(FilterItemStateNone));
    ClickAt(0, true);
    EXPECT_EQ(RowState(0), static_cast<UINT>(FilterItemStateNone));

    POINT at = RowOnScreen(0);
    popup.choice = IDM_ITEM_DEACTIVATE; // not offered, so nothing may happen
    ShowFilterContextMenu(list, at.x, at.y);
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_DEACTIVATE]));
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_ACTIVATE]));
    EXPECT_TRUE(Removed(popup.states[IDM_ITEM_DELETE]));
    EXPECT_EQ(RowState(0), static_cast<UINT>(FilterItemStateNone));
}

TEST_F(FilterCommandsTest, DeleteFromTheMenuEditsTheRowsOwnGroup)
{
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    OpenWindow();
    int upper = FindRow(L"QmBoth", 1);
    ASSERT_GE(upper, 0);
    POINT at = RowOnScreen(upper);
    popup.choice = IDM_ITEM_DELETE;
    {
        DialogWatcher confirm(IDYES);
        ShowFilterContextMenu(list, at.x, at.y);
        ASSERT_TRUE(confirm.Wait());
    }
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, std::vector<std::string>{});
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, std::vector<std::string>{"QmBoth"});
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(FindRow(L"QmBoth", 0), 0);
}

TEST_F(FilterCommandsTest, DoubleClickOpensThePropertiesOfThatRow)
{
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone"});
    OpenWindow();
    DoubleClick(-1); // beside every row
    DialogWatcher properties(IDOK);
    DoubleClick(0);
    ASSERT_TRUE(properties.Wait());
    EXPECT_EQ(properties.seen().caption, L"Properties");
    EXPECT_EQ(properties.seen().owner, host);
    EXPECT_NE(properties.AllText().find(L"Not found"), std::wstring::npos);
}

} // namespace

namespace {

// The kernel calls cannot load drivers under Wine; these stand-ins start and stop
// the row's (real) service instead, so the refresh after a driver command is seen.
NTSTATUS NTAPI StartDemoService(UNICODE_STRING*)
{
    return StartServiceAndWait(L"QmRun") ? 0 : static_cast<NTSTATUS>(0xC0000001);
}

NTSTATUS NTAPI StopDemoService(UNICODE_STRING*)
{
    return StopServiceAndWait(L"QmRun") ? 0 : static_cast<NTSTATUS>(0xC0000001);
}

TEST_F(FilterCommandsTest, DriverCommandsRefreshTheRowsIconAndStateOnly)
{
    std::wstring program = L"\"" + PathBesideTestProgram(L"..\\qm_demo_service.exe") + L"\"";
    ASSERT_TRUE(CreateOwnProcessService(L"QmRun", program));
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmRun"});
    OpenWindow();
    ASSERT_EQ(RowText(0, 2), L"Stopped");
    ASSERT_EQ(RowImage(0), 1);

    nativeDriverCalls.loadDriver = StartDemoService;
    nativeDriverCalls.unloadDriver = StopDemoService;
    POINT at = RowOnScreen(0);
    popup.choice = IDM_START_DRIVER;
    ShowFilterContextMenu(list, at.x, at.y);
    EXPECT_TRUE(Enabled(popup.states[IDM_START_DRIVER]));
    EXPECT_EQ(RowText(0, 2), L"Started");
    EXPECT_EQ(RowImage(0), 0);
    EXPECT_EQ(RowState(0), static_cast<UINT>(Parked));
    EXPECT_EQ(RowText(0), L"QmRun");

    popup.choice = IDM_STOP_DRIVER;
    ShowFilterContextMenu(list, at.x, at.y);
    EXPECT_TRUE(Enabled(popup.states[IDM_STOP_DRIVER]));
    EXPECT_EQ(RowText(0, 2), L"Stopped");
    EXPECT_EQ(RowImage(0), 1);
}

} // namespace
