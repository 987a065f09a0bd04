// What Fix problems parks and how a device is judged, as one decision of the
// facts: every front end presents this table.
#include "devices/repair_plan.h"

#include <cfgmgr32.h>
#include <gtest/gtest.h>

namespace {

enum class Drives { None, Working, Failing, Disabled, DisabledAndFailing };

struct Case {
    const char* what;
    DWORD state;
    DriverTrouble trouble;
    FilterPlace place;
    Drives drives;
    FixVerdict expected;
};

DriveHealth Drive(ULONG problem, bool started)
{
    DriveHealth drive;
    drive.name = L"Drive";
    drive.instanceId = L"IDE\\CDROM\\1";
    drive.problem = problem;
    drive.started = started;
    return drive;
}

RepairFacts Facts(const Case& c)
{
    RepairFacts facts;
    facts.entries.push_back({c.place, 1, true, L"QmFilter", c.place == FilterPlace::Class ? L"" : L"IDE\\CDROM\\1",
                             L"Drive"});
    facts.conditions.push_back({L"qmfilter", {c.state, c.trouble}});
    switch (c.drives) {
    case Drives::None:
        break;
    case Drives::Working:
        facts.drives.push_back(Drive(0, true));
        break;
    case Drives::Failing:
        facts.drives.push_back(Drive(CM_PROB_FAILED_ADD, false));
        break;
    case Drives::Disabled:
        facts.drives.push_back(Drive(CM_PROB_DISABLED, false));
        break;
    case Drives::DisabledAndFailing:
        facts.drives.push_back(Drive(CM_PROB_HARDWARE_DISABLED, false));
        facts.drives.push_back(Drive(CM_PROB_FAILED_ADD, false));
        break;
    }
    return facts;
}

constexpr DWORD Missing = 8;

const Case Cases[] = {
    {"missing, no drive", Missing, DriverTrouble::Missing, FilterPlace::Class, Drives::None, FixVerdict::Park},
    {"stopped, no drive", SERVICE_STOPPED, DriverTrouble::None, FilterPlace::Class, Drives::None, FixVerdict::Leave},
    {"stopped, a drive works", SERVICE_STOPPED, DriverTrouble::None, FilterPlace::Class, Drives::Working,
     FixVerdict::Park},
    {"disabled, a drive fails", SERVICE_STOPPED, DriverTrouble::Disabled, FilterPlace::Class, Drives::Failing,
     FixVerdict::Park},
    {"running, a drive fails", SERVICE_RUNNING, DriverTrouble::None, FilterPlace::Class, Drives::Failing,
     FixVerdict::Leave},
    {"unknown, a drive works", 0, DriverTrouble::Unknown, FilterPlace::Class, Drives::Working,
     FixVerdict::CannotTell},
    {"unknown, no drive", 0, DriverTrouble::Unknown, FilterPlace::Class, Drives::None, FixVerdict::CannotTell},
    {"a drive's own, stopped", SERVICE_STOPPED, DriverTrouble::None, FilterPlace::Drive, Drives::Working,
     FixVerdict::Park},
    {"declarative, missing", Missing, DriverTrouble::Missing, FilterPlace::Declarative, Drives::Failing,
     FixVerdict::Leave},
    // A disabled drive has no stack, so its filters' stopped services tell nothing.
    {"stopped, every drive disabled", SERVICE_STOPPED, DriverTrouble::None, FilterPlace::Class, Drives::Disabled,
     FixVerdict::Leave},
    {"missing, every drive disabled", Missing, DriverTrouble::Missing, FilterPlace::Class, Drives::Disabled,
     FixVerdict::Park},
    {"stopped, a disabled drive beside a failing one", SERVICE_STOPPED, DriverTrouble::None, FilterPlace::Class,
     Drives::DisabledAndFailing, FixVerdict::Park},
};

TEST(RepairPlan, JudgesEachFilterByItsServiceAndTheDrivesThatCouldLoadIt)
{
    for (const Case& c : Cases) {
        RepairPlan plan = PlanRepair(Facts(c));
        ASSERT_EQ(plan.filters.size(), 1u) << c.what;
        EXPECT_EQ(plan.filters[0].verdict, c.expected) << c.what;
    }
}

// Windows cannot start without the keyboards: a stopped filter there may be what
// the user's input goes through, and kbdclass is Windows' own.
TEST(RepairPlan, AClassWindowsNeedsLosesOnlyAFilterThatCannotLoad)
{
    const DeviceClass keyboard{{0x4D36E96B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
                               L"{4D36E96B-E325-11CE-BFC1-08002BE10318}",
                               L"Keyboard",
                               L"Keyboard",
                               L"",
                               nullptr,
                               true};
    const struct {
        const char* what;
        const DeviceClass* deviceClass;
        const wchar_t* name;
        DriverCondition condition;
        FixVerdict expected;
    } cases[] = {
        {"stopped", &keyboard, L"QmHook", {SERVICE_STOPPED, DriverTrouble::None}, FixVerdict::Leave},
        {"its file is gone", &keyboard, L"QmHook", {SERVICE_STOPPED, DriverTrouble::NoFile}, FixVerdict::Park},
        {"disabled", &keyboard, L"QmHook", {SERVICE_STOPPED, DriverTrouble::Disabled}, FixVerdict::Park},
        {"missing", &keyboard, L"QmHook", {Missing, DriverTrouble::Missing}, FixVerdict::Park},
        {"Windows' own, missing", &keyboard, L"KbdClass", {Missing, DriverTrouble::Missing}, FixVerdict::WindowsOwn},
        {"Windows' own name in another class", &CdromClass(), L"kbdclass", {SERVICE_STOPPED, DriverTrouble::None},
         FixVerdict::Park},
    };
    for (const auto& c : cases) {
        RepairFacts facts;
        facts.deviceClass = *c.deviceClass;
        facts.entries.push_back({FilterPlace::Class, 1, true, c.name, L"", L""});
        facts.conditions.push_back({c.name, c.condition});
        facts.drives.push_back(Drive(0, true));
        EXPECT_EQ(PlanRepair(facts).filters.at(0).verdict, c.expected) << c.what;
    }
}

TEST(RepairPlan, JudgesANameOncePerPlaceAndTellsItByAnEntryInForce)
{
    RepairFacts facts;
    facts.entries = {{FilterPlace::Class, 0, false, L"QmTwice", L"", L""},
                     {FilterPlace::Class, 1, true, L"qmtwice", L"", L""},
                     {FilterPlace::Drive, 1, true, L"QmTwice", L"IDE\\CDROM\\1", L"Drive"}};
    facts.conditions.push_back({L"QmTwice", {Missing, DriverTrouble::Missing}});
    RepairPlan plan = PlanRepair(facts);
    ASSERT_EQ(plan.filters.size(), 2u);
    EXPECT_TRUE(plan.filters[0].active);
    EXPECT_EQ(plan.filters[0].entry.level, 1);
    EXPECT_EQ(plan.filters[1].entry.place, FilterPlace::Drive);
}

TEST(RepairPlan, ADeviceIsMendableOnlyByAFilterTheFixParks)
{
    const struct {
        const char* what;
        ULONG problem;
        LoadedDriver::Level level;
        FilterPlace place;
        bool mendable;
    } cases[] = {
        {"a class filter is missing", CM_PROB_FAILED_ADD, LoadedDriver::Upper, FilterPlace::Class, true},
        {"its own driver is missing", CM_PROB_FAILED_ADD, LoadedDriver::Function, FilterPlace::Drive, false},
        {"a declarative filter is missing", CM_PROB_FAILED_ADD, LoadedDriver::Lower, FilterPlace::Declarative, false},
        {"switched off, a class filter is missing", CM_PROB_DISABLED, LoadedDriver::Upper, FilterPlace::Class, false},
    };
    for (const auto& c : cases) {
        RepairFacts facts;
        facts.drives.push_back(Drive(c.problem, false));
        facts.drives[0].loaded.push_back({L"QmBroken", c.level, c.place, {Missing, DriverTrouble::Missing}});
        facts.drives[0].culprit = 0;
        RepairPlan plan = PlanRepair(facts);
        ASSERT_EQ(plan.devices.size(), 1u) << c.what;
        EXPECT_FALSE(plan.devices[0].works) << c.what;
        EXPECT_EQ(plan.devices[0].mendable, c.mendable) << c.what;
    }
}

} // namespace
