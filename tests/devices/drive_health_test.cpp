// The status bar's drive part: which drive it names and in what words, through
// the installer stand-in, and the drives Wine really has.
#include "devices/drive_health.h"
#include "devices/filter_entries.h"
#include "support/fake_installer.h"
#include "ui/drive_texts.h"
#include "support/wine_tools.h"

#include <cfgmgr32.h>

namespace {

std::wstring PartText()
{
    std::vector<DriveHealth> drives;
    bool known = ReadDriveHealth(RunningMachine(), CdromClass(), &drives);
    DriveHealthText text = ComposeDriveHealthText(known, drives);
    return text.name + text.rest;
}

using DriveHealthTest = FakeInstallerTest;

TEST_F(DriveHealthTest, ThePartNamesTheFirstDriveInTroubleWithItsCodeAndMeaning)
{
    EXPECT_EQ(PartText(), L"No CD/DVD drive found");
    // The present devices of the setup class, so that drives without an interface count.
    EXPECT_TRUE(IsEqualGUID(fakeDevices.healthClass, CdromClass().guid));
    EXPECT_EQ(fakeDevices.healthFlags, static_cast<DWORD>(DIGCF_PRESENT));

    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0}};
    EXPECT_EQ(PartText(), L"1 drive working");
    fakeDevices.drives.push_back({L"Rear BD-ROM", L"", DN_STARTED | DN_HAS_PROBLEM, 39});
    EXPECT_EQ(PartText(), L"Rear BD-ROM: code 39, a driver is missing or damaged");
    fakeDevices.drives[1] = {L"Rear BD-ROM", L"", DN_STARTED, 0};
    EXPECT_EQ(PartText(), L"2 drives working");

    // The first in trouble, then how many more; a drive without a friendly name goes
    // by its description, a code without words of ours by its number, and a drive
    // that did not start without a code says so.
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED, 0},
                          {L"", L"CD-ROM Drive", DN_HAS_PROBLEM, 50},
                          {L"Rear BD-ROM", L"", 0, 0},
                          {L"USB DVD", L"", DN_HAS_PROBLEM, 31}};
    EXPECT_EQ(PartText(), L"CD-ROM Drive: code 50 (+2 more)");
    std::vector<DriveHealth> drives;
    ASSERT_TRUE(ReadDriveHealth(RunningMachine(), CdromClass(), &drives));
    EXPECT_EQ(DescribeDrives(true, drives), L"Front DVD-RW: working\nCD-ROM Drive: code 50\n"
                                            L"Rear BD-ROM: not started\nUSB DVD: code 31, drivers could not be loaded");

    fakeDevices.statusFails = true;
    EXPECT_EQ(PartText(), L"Drive state unknown");
    fakeDevices.statusFails = false;
    fakeDevices.setFails = true;
    EXPECT_EQ(PartText(), L"Drive state unknown");
}

TEST_F(DriveHealthTest, AStatusCallThatWritesNothingGivesNoProblemCode)
{
    // What the first drive's call wrote still lies where the second's would go.
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_STARTED | DN_HAS_PROBLEM, 39},
                          {L"Rear BD-ROM", L"", DN_STARTED, 0, true}};
    std::vector<DriveHealth> drives;
    ASSERT_TRUE(ReadDriveHealth(RunningMachine(), CdromClass(), &drives));
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].problem, 0u);
    EXPECT_EQ(DriveStateText(drives[1]), L"not started");
}

TEST_F(DriveHealthTest, AFilterOnlyInTheResultingListIsReadOnlyAndNamedWhenMissing)
{
    // Added by a driver package: in neither the class's values nor the drive's own.
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_HAS_PROBLEM, 39, false, {{}, {L"QmDeclared"}}}};
    EXPECT_EQ(PartText(), L"Front DVD-RW: code 39, a driver is missing or damaged, filter QmDeclared is missing");
    std::vector<DriveHealth> drives;
    ASSERT_TRUE(ReadDriveHealth(RunningMachine(), CdromClass(), &drives));
    std::vector<FilterEntry> entries;
    ReadFilterEntries(RunningMachine(), CdromClass(), drives, &entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].place, FilterPlace::Declarative);
    EXPECT_EQ(entries[0].level, 1);
    EXPECT_FALSE(ParkEntry(RunningMachine(), CdromClass(), entries[0], nullptr));
    EXPECT_FALSE(DeleteEntry(RunningMachine(), CdromClass(), entries[0], nullptr));
}

TEST_F(DriveHealthTest, AStackLoadsTheDrivesOwnFiltersAndThenTheClasses)
{
    // Its resulting list holds its own filter only; the class's still load after it.
    ASSERT_TRUE(CreateOwnProcessService(L"QmOwn", L"C:\\windows\\system32\\cmd.exe"));
    WriteClassMultiSz(UpperFiltersValue, {L"QmGone"});
    fakeDevices.drives = {{L"Front DVD-RW", L"", DN_HAS_PROBLEM, 39, false, {{}, {L"QmOwn"}}}};
    EXPECT_EQ(PartText(), L"Front DVD-RW: code 39, a driver is missing or damaged, filter QmGone is missing");
    // Where the system keeps the class's resulting list, that is what loads.
    fakeDevices.classResulting[1] = {L"QmGone", L"QmClassGone"};
    WriteClassMultiSz(UpperFiltersValue, {L"QmOwn"});
    std::vector<DriveHealth> drives;
    ASSERT_TRUE(ReadDriveHealth(RunningMachine(), CdromClass(), &drives));
    ASSERT_EQ(drives.size(), 1u);
    std::vector<std::wstring> order;
    for (const LoadedDriver& driver : drives[0].loaded)
        order.push_back(driver.name);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"QmOwn", L"QmGone", L"QmClassGone"}));
    ResetFilterValues();
    DeleteServiceIfPresent(L"QmOwn");
}

TEST(DriveHealthRealInstaller, NoDriveThenARegisteredOneThatDidNotStart)
{
    EXPECT_EQ(PartText(), L"No CD/DVD drive found");
    {
        RegisteredDrive drive;
        ASSERT_TRUE(drive.registered()) << GetLastError();
        // Wine reports it as not started, with no problem code.
        EXPECT_EQ(PartText(), std::wstring(RegisteredDrive::Name) + L": not started");
        // A filter of its own whose service does not exist explains it.
        ASSERT_TRUE(drive.SetFilters(SPDRP_UPPERFILTERS, {L"QmNoSuchFilter"}));
        EXPECT_EQ(PartText(), std::wstring(RegisteredDrive::Name) + L": not started, filter QmNoSuchFilter is missing");
    }
    EXPECT_EQ(PartText(), L"No CD/DVD drive found");
}

} // namespace
