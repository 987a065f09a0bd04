// Row and registry change together: deactivate, activate, delete, fix problems,
// and what the user sees when the registry refuses the change.
#include "devices/device_installer.h"
#include "devices/drive_filters.h"
#include "filters/filter_registry.h"
#include "filters/store_calls.h"
#include "res/resource.h"
#include "services/service_info.h"
#include "ui/filter_list.h"
#include "ui/filter_operations.h"
#include "ui/filter_window_fixture.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

class FilterOperationsTest : public FilterWindowTest {
protected:
    // QmBoth's service, its name active in both groups, and the window open.
    void OpenWithANameInBothGroups()
    {
        ASSERT_TRUE(CreateDriverService(L"QmBoth", L"C:\\qmboth.sys"));
        WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
        WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
        OpenWindow();
        lower = FindRow(L"QmBoth", 0);
        upper = FindRow(L"QmBoth", 1);
    }
    int lower = -1;
    int upper = -1;
};

TEST_F(FilterOperationsTest, DeactivateAndActivateMoveTheRowAndTheRegistryTogether)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop"});
    OpenWindow();
    DeactivateFilterItems(list, Row(0));
    EXPECT_EQ(RowState(0), static_cast<UINT>(Parked));
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, Names{"QmStop"});
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DISABLED);

    ActivateFilterItems(list, Row(0));
    EXPECT_EQ(RowState(0), static_cast<UINT>(Active));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmStop"});
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_BOOT_START);
}

TEST_F(FilterOperationsTest, EveryRowOfTheNameShowsWhatTheClassKeyNowHolds)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"QmStop"});
    OpenWithANameInBothGroups();
    int other = FindRow(L"QmStop", 1);
    Select(other);
    // The registry side parks the name in both groups, and both rows follow.
    DeactivateFilterItems(list, Row(lower));
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, (Names{"QmStop", "QmBoth"}));
    EXPECT_EQ(RowState(lower), static_cast<UINT>(Parked));
    EXPECT_EQ(RowState(upper), static_cast<UINT>(Parked));
    EXPECT_EQ(RowText(upper, 2), L"Stopped");
    // The other name's row is left alone, and stays selected.
    EXPECT_EQ(RowCount(), 3);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(other), LVIS_SELECTED),
              static_cast<LRESULT>(LVIS_SELECTED));
}

TEST_F(FilterOperationsTest, DeleteAsksWithTheListedNameAndNoKeepsEverything)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", L"C:\\qmboth.sys"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    OpenWindow();
    {
        DialogWatcher confirm(IDNO);
        ConfirmAndDeleteFilter(list, Row(0));
        ASSERT_TRUE(confirm.Wait());
        EXPECT_EQ(confirm.seen().caption, L"Delete Filter Driver");
        EXPECT_NE(confirm.AllText().find(L"Are you really want to remove the filter driver \"QmBoth\"?"),
                  std::wstring::npos)
            << Narrow(confirm.AllText());
        // Asked with the list as owner; the box belongs to the list's top-level window.
        EXPECT_EQ(confirm.seen().owner, host);
    }
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmBoth"});
    EXPECT_TRUE(ServiceExists(L"QmBoth"));
}

TEST_F(FilterOperationsTest, DeleteYesRemovesTheGroupsEntriesAndTheirRows)
{
    ASSERT_TRUE(CreateDriverService(L"QmBoth", L"C:\\qmboth.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmBoth"});
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"qmboth"});
    OpenWindow();
    ASSERT_EQ(RowCount(), 3);
    size_t copies = LiveFilterItems();
    upper = FindRow(L"QmBoth", 1);
    {
        DialogWatcher confirm(IDYES);
        ConfirmAndDeleteFilter(list, Row(upper));
        ASSERT_TRUE(confirm.Wait());
    }
    // Both upper entries went, and so did both upper rows.
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(LiveFilterItems(), copies - 2);
    EXPECT_GE(FindRow(L"QmBoth", 0), 0);
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{});
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, Names{});
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmBoth"});
    EXPECT_TRUE(ServiceExists(L"QmBoth")) << "the lower row still needs it";
}

TEST_F(FilterOperationsTest, ARowChangesOnlyWhenTheEditOfItsOwnGroupTookEffect)
{
    OpenWithANameInBothGroups();
    {
        StoreOpensReadOnly readOnly;
        DialogWatcher error(IDOK);
        DeactivateFilterItems(list, Row(lower));
        ASSERT_TRUE(error.Wait());
        EXPECT_NE(error.AllText().find(L"QmBoth"), std::wstring::npos);
        EXPECT_NE(error.AllText().find(SystemMessage(ERROR_ACCESS_DENIED)), std::wstring::npos)
            << Narrow(error.AllText());
    }
    EXPECT_EQ(RowState(lower), static_cast<UINT>(Active));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmBoth"});

    // Only the upper group's write fails: the lower row moves, the upper one stays.
    StoreWriteFails upperSource(UpperFiltersValue);
    for (int row : {lower, upper}) {
        DialogWatcher error(IDOK);
        DeactivateFilterItems(list, Row(row));
        ASSERT_TRUE(error.Wait());
        EXPECT_NE(error.AllText().find(L"QmBoth"), std::wstring::npos);
    }
    EXPECT_EQ(RowState(lower), static_cast<UINT>(Parked));
    EXPECT_EQ(RowState(upper), static_cast<UINT>(Active));
}

TEST_F(FilterOperationsTest, WithoutRightsRowsStayAndTheUserIsToldOnce)
{
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop"});
    WriteClassMultiSz(UpperFiltersValue, {L"QmGone"});
    OpenWindow();
    int stopped = FindRow(L"QmStop", 0);
    ReadOnlyClassKey readOnly;
    ASSERT_TRUE(readOnly.applied());
    std::wstring denied = SystemMessage(ERROR_ACCESS_DENIED);
    {
        DialogWatcher error(IDOK);
        DeactivateFilterItems(list, Row(stopped));
        ASSERT_TRUE(error.Wait());
        EXPECT_NE(error.AllText().find(L"QmStop"), std::wstring::npos);
        EXPECT_NE(error.AllText().find(denied), std::wstring::npos) << Narrow(error.AllText());
    }
    EXPECT_EQ(RowState(stopped), static_cast<UINT>(Active));

    {
        DialogWatcher confirmThenError{IDYES, IDOK};
        ConfirmAndDeleteFilter(list, Row(stopped));
        ASSERT_TRUE(confirmThenError.Wait());
        EXPECT_NE(confirmThenError.AllText(1).find(denied), std::wstring::npos);
    }
    EXPECT_EQ(RowCount(), 2);
    EXPECT_TRUE(ServiceExists(L"QmStop"));

    // One message for the whole run, naming both filters; the devices restart anyway.
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    {
        DialogWatcher error(IDOK);
        FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));
        ASSERT_TRUE(error.Wait());
        EXPECT_NE(error.AllText().find(L"QmStop"), std::wstring::npos);
        EXPECT_NE(error.AllText().find(L"QmGone"), std::wstring::npos);
    }
    EXPECT_EQ(RowState(FindRow(L"QmStop", 0)), static_cast<UINT>(Active));
    EXPECT_EQ(RowState(FindRow(L"QmGone", 1)), static_cast<UINT>(ActiveMissing));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmStop"});
}

TEST_F(FilterOperationsTest, FixProblemsParksWhatDoesNotRunAndRefreshesTheStatusLine)
{
    // Present and not started: the drive Fix problems exists for.
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    ASSERT_TRUE(CreateRunningService(L"cdrom"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmRun"});
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop", L"QmGone"});
    OpenWindow();
    SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));

    FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));

    EXPECT_EQ(RowState(FindRow(L"QmRun", 1)), static_cast<UINT>(Active));
    EXPECT_EQ(RowState(FindRow(L"QmStop", 0)), static_cast<UINT>(Parked));
    EXPECT_EQ(RowState(FindRow(L"QmGone", 0)), static_cast<UINT>(ParkedMissing));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{});
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, (Names{"QmGone", "QmStop"}));
    EXPECT_EQ(RegQueryClassValue("UpperFilters").entries, Names{"QmRun"});

    wchar_t status[256] = {};
    SendMessageW(statusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
    EXPECT_STREQ(status, L"DVD-CD-ROM diver is running");
}

TEST_F(FilterOperationsTest, WithoutADriveFixProblemsParksOnlyAFilterWithoutService)
{
    // No filter is loaded without a drive, so a stopped one tells nothing.
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop", L"QmGone"});
    OpenWindow();
    FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));
    EXPECT_EQ(RowState(FindRow(L"QmStop", 0)), static_cast<UINT>(Active));
    EXPECT_EQ(RowState(FindRow(L"QmGone", 0)), static_cast<UINT>(ParkedMissing));
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, Names{"QmStop"});
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DEMAND_START);
}

TEST_F(FilterOperationsTest, OneBoxNamesWhoElseUsesEachServiceThatWasKept)
{
    // Filters of the disk drives too, which Fix leaves alone.
    const std::wstring diskClass =
        L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
    ASSERT_EQ(RunTool(L"reg add " + diskClass + L" /v UpperFilters /t REG_MULTI_SZ /d QmStop\\0QmPark /f"), 0u);
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    ASSERT_TRUE(CreateDriverService(L"QmPark", L"C:\\qmpark.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmStop", L"QmPark"});
    OpenWindow();
    {
        DialogWatcher box(IDOK);
        FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));
        ASSERT_TRUE(box.Wait());
        std::wstring text = box.AllText();
        for (const wchar_t* line : {L"QmStop: Disk drives", L"QmPark: Disk drives"})
            EXPECT_NE(text.find(line), std::wstring::npos) << Narrow(text);
        EXPECT_EQ(box.seen().owner, host);
    }
    RunTool(L"reg delete " + diskClass + L" /v UpperFilters /f");
    EXPECT_EQ(RegQueryClassValue("LowerFiltersRemoved").entries, (Names{"QmPark", "QmStop"}));
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DEMAND_START);
    EXPECT_EQ(ServiceStartType(L"QmPark"), SERVICE_DEMAND_START);
}

// Wine cannot refuse an administrator a service, or its configuration alone: the
// query's open hands out a handle that may only ask the status, and refuses QmStop.
SC_HANDLE WINAPI OpenForStatusOnly(SC_HANDLE manager, const wchar_t* name, DWORD)
{
    if (lstrcmpiW(name, L"QmStop") == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
}

TEST_F(FilterOperationsTest, FixProblemsLeavesARunningFilterAndOneItMayNotAsk)
{
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    ASSERT_TRUE(CreateRunningService(L"QmRun"));
    ASSERT_TRUE(CreateDriverService(L"QmStop", L"C:\\qmstop.sys"));
    WriteClassMultiSz(LowerFiltersValue, {L"QmRun", L"QmStop"});
    OpenWindow();
    {
        SwappedSeam services(serviceInfoCalls);
        serviceInfoCalls.openService = OpenForStatusOnly;
        FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));
    }
    EXPECT_EQ(RegQueryClassValue("LowerFilters").entries, (Names{"QmRun", "QmStop"}));
    EXPECT_EQ(ServiceStartType(L"QmRun"), SERVICE_DEMAND_START);
    EXPECT_EQ(ServiceStartType(L"QmStop"), SERVICE_DEMAND_START);
}

// Only the system may write a drive's instance key on Windows, though Wine lets
// anyone: a recording stand-in shows that every write goes through the device
// installer, the parking values through its Device Parameters key.
struct DriveKeyOpens {
    static inline std::vector<std::wstring> storeOpens;
    static inline int parameterKeys = 0;
    static LSTATUS WINAPI Open(HKEY root, const wchar_t* path, DWORD options, REGSAM access, HKEY* key)
    {
        storeOpens.push_back(path ? path : L"");
        return RegOpenKeyExW(root, path, options, access, key);
    }
    static HKEY WINAPI OpenDevice(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD profile, DWORD which,
                                  REGSAM access)
    {
        parameterKeys += which == DIREG_DEV;
        return SetupDiOpenDevRegKey(set, device, scope, profile, which, access);
    }
    static HKEY WINAPI CreateDevice(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD profile, DWORD which,
                                    HINF inf, const wchar_t* section)
    {
        parameterKeys += which == DIREG_DEV;
        return SetupDiCreateDevRegKeyW(set, device, scope, profile, which, inf, section);
    }
    SwappedSeam<FilterStoreCalls> store{filterStoreCalls};
    SwappedSeam<DeviceInstallerCalls> installer{deviceInstallerCalls};
    DriveKeyOpens()
    {
        storeOpens.clear();
        parameterKeys = 0;
        filterStoreCalls.openKey = Open;
        deviceInstallerCalls.openDevRegKey = OpenDevice;
        deviceInstallerCalls.createDevRegKey = CreateDevice;
    }
};

TEST_F(FilterOperationsTest, ADrivesOwnFilterIsParkedRestoredDeletedAndFixedThroughTheDeviceInstaller)
{
    RegisteredDrive drive;
    ASSERT_TRUE(drive.registered());
    ASSERT_TRUE(drive.SetFilters(SPDRP_UPPERFILTERS, {L"QmOther", L"QmDrive"}));
    ASSERT_TRUE(drive.SetFilters(SPDRP_LOWERFILTERS, {L"QmGone"}));
    ASSERT_TRUE(CreateDriverService(L"QmDrive", L"C:\\qmdrive.sys"));
    ASSERT_TRUE(CreateRunningService(L"QmOther"));
    const std::wstring instance = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + std::wstring(RegisteredDrive::InstanceId);
    const std::wstring parameters = instance + L"\\Device Parameters";
    OpenWindow();
    // In groups of the drive's own, after the class's, each row naming the drive.
    int row = FindRow(L"QmDrive", 1);
    ASSERT_GE(row, 0);
    EXPECT_EQ(Row(row)->place, FilterPlace::Drive);
    EXPECT_NE(RowText(row, 1).find(RegisteredDrive::Name), std::wstring::npos) << Narrow(RowText(row, 1));
    EXPECT_EQ(RowState(row), static_cast<UINT>(Active));

    {
        DriveKeyOpens opens;
        DeactivateFilterItems(list, Row(row));
        for (const std::wstring& path : opens.storeOpens)
            EXPECT_EQ(path.find(L"Enum"), std::wstring::npos) << Narrow(path);
        EXPECT_GT(opens.parameterKeys, 0);
    }
    EXPECT_EQ(RowState(row), static_cast<UINT>(Parked));
    EXPECT_EQ(RegQueryValue(instance, "UpperFilters").entries, Names{"QmOther"});
    EXPECT_EQ(RegQueryValue(parameters, "UpperFiltersRemoved").entries, Names{"QmDrive"});
    EXPECT_EQ(ServiceStartType(L"QmDrive"), SERVICE_DISABLED);

    ActivateFilterItems(list, Row(row));
    EXPECT_EQ(RowState(row), static_cast<UINT>(Active));
    EXPECT_EQ(RegQueryValue(instance, "UpperFilters").entries, (Names{"QmOther", "QmDrive"}));
    EXPECT_EQ(RegQueryValue(parameters, "UpperFiltersRemoved").entries, Names{});
    EXPECT_EQ(ServiceStartType(L"QmDrive"), SERVICE_BOOT_START);

    // Fix parks the drive's own filter whose service is missing, and leaves the running one.
    {
        DialogWatcher none(IDOK);
        FixProblemsAutomatically(list, GetDlgItem(host, IDC_STATUS_BAR));
    }
    EXPECT_EQ(RegQueryValue(instance, "LowerFilters").entries, Names{});
    EXPECT_EQ(RegQueryValue(parameters, "LowerFiltersRemoved").entries, Names{"QmGone"});
    EXPECT_EQ(RegQueryValue(instance, "UpperFilters").entries, (Names{"QmOther"}));

    row = FindRow(L"QmOther", 1);
    ASSERT_GE(row, 0);
    {
        DialogWatcher confirm(IDYES);
        ConfirmAndDeleteFilter(list, Row(row));
        EXPECT_TRUE(confirm.Wait());
    }
    EXPECT_EQ(FindRow(L"QmOther", 1), -1);
    EXPECT_EQ(RegQueryValue(instance, "UpperFilters").entries, Names{});

    // A value that is there with no bytes at all holds no names; an edit of the
    // other value goes on.
    ASSERT_TRUE(drive.SetFilters(SPDRP_UPPERFILTERS, {L"QmDrive"}));
    {
        HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        EXPECT_TRUE(SetupDiOpenDeviceInfoW(set, RegisteredDrive::InstanceId, nullptr, 0, &device) &&
                    SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_LOWERFILTERS, nullptr, 0));
        SetupDiDestroyDeviceInfoList(set);
    }
    EXPECT_TRUE(DeactivateDriveFilter(RunningMachine(), CdromClass(), RegisteredDrive::InstanceId, L"QmDrive")) << GetLastError();
    EXPECT_EQ(RegQueryValue(parameters, "UpperFiltersRemoved").entries, Names{"QmDrive"});
}

} // namespace
