#include "devices/repair_plan.h"

#include "devices/filter_entries.h"
#include "filters/multi_sz.h"
#include "filters/windows_filters.h"

#include <cfgmgr32.h>

#include <algorithm>

namespace {

bool SamePlace(const FilterEntry& a, FilterPlace place, const std::wstring& drive, const std::wstring& name)
{
    return a.place == place && MultiSzNamesMatch(a.name.c_str(), name.c_str()) &&
           (place == FilterPlace::Class || MultiSzNamesMatch(a.drive.c_str(), drive.c_str()));
}

DriverCondition ConditionOf(const RepairFacts& facts, const std::wstring& name)
{
    for (const NamedCondition& known : facts.conditions)
        if (MultiSzNamesMatch(known.name.c_str(), name.c_str()))
            return known.condition;
    return {};
}

bool CannotLoad(const DriverCondition& condition)
{
    return condition.trouble == DriverTrouble::Missing || condition.trouble == DriverTrouble::NoFile ||
           condition.trouble == DriverTrouble::Disabled;
}

FixVerdict Judge(const DeviceClass& deviceClass, const FilterEntry& entry, const DriverCondition& condition,
                 bool noEvidence, bool offline)
{
    if (entry.place == FilterPlace::Declarative)
        return FixVerdict::Leave;
    if (WindowsNeedsFilter(deviceClass, entry.name.c_str()))
        return FixVerdict::WindowsOwn;
    // Nothing runs there: an enabled filter whose file is there may be the one that
    // works, in any class.
    if (offline)
        return condition.trouble == DriverTrouble::Unknown ? FixVerdict::CannotTell
               : CannotLoad(condition)                     ? FixVerdict::Park
                                                           : FixVerdict::Leave;
    // State 0: the manager or the service could not be asked, so a running filter
    // may stand here.
    DWORD state = condition.currentState;
    if (state == 0)
        return FixVerdict::CannotTell;
    if (noEvidence)
        return state == ServiceStateNotFound ? FixVerdict::Park : FixVerdict::Leave;
    // A stopped filter of the disks or the keyboards may be what stands between the
    // user and their data or their input: only one that cannot load goes.
    if (deviceClass.critical)
        return CannotLoad(condition) ? FixVerdict::Park : FixVerdict::Leave;
    return state != SERVICE_RUNNING ? FixVerdict::Park : FixVerdict::Leave;
}

bool Disabled(const DriveHealth& drive)
{
    return drive.problem == CM_PROB_DISABLED || drive.problem == CM_PROB_HARDWARE_DISABLED;
}

} // namespace

RepairFacts GatherRepairFacts(const Machine& machine, const DeviceClass& deviceClass, bool parkedToo)
{
    RepairFacts facts;
    facts.deviceClass = deviceClass;
    facts.offline = machine.offline;
    facts.drivesKnown = ReadDriveHealth(machine, deviceClass, &facts.drives);
    facts.entriesStatus = ReadFilterEntries(machine, deviceClass, facts.drives, &facts.entries);
    for (const DriveHealth& drive : facts.drives)
        for (const LoadedDriver& driver : drive.loaded)
            if (std::none_of(facts.conditions.begin(), facts.conditions.end(), [&](const NamedCondition& known) {
                    return MultiSzNamesMatch(known.name.c_str(), driver.name.c_str());
                }))
                facts.conditions.push_back({driver.name, driver.condition});
    ServiceConnection connection;
    for (const FilterEntry& entry : facts.entries)
        if ((entry.active || parkedToo) && std::none_of(facts.conditions.begin(), facts.conditions.end(), [&](const NamedCondition& known) {
                return MultiSzNamesMatch(known.name.c_str(), entry.name.c_str());
            }))
            facts.conditions.push_back({entry.name, ReadDriverCondition(machine, &connection, entry.name.c_str())});
    return facts;
}

RepairPlan PlanRepair(const RepairFacts& facts)
{
    RepairPlan plan;
    plan.noEvidence = facts.drivesKnown && std::all_of(facts.drives.begin(), facts.drives.end(), Disabled);
    for (const FilterEntry& entry : facts.entries) {
        auto known = std::find_if(plan.filters.begin(), plan.filters.end(), [&](const PlannedFilter& planned) {
            return SamePlace(planned.entry, entry.place, entry.drive, entry.name);
        });
        if (known != plan.filters.end()) {
            // Told by an entry in force where it has one.
            if (!known->active && entry.active)
                known->entry = entry;
            known->active = known->active || entry.active;
            continue;
        }
        DriverCondition condition = ConditionOf(facts, entry.name);
        plan.filters.push_back({entry, entry.active, condition,
                                Judge(facts.deviceClass, entry, condition, plan.noEvidence, facts.offline)});
    }
    for (size_t index = 0; index < facts.drives.size(); ++index) {
        const DriveHealth& drive = facts.drives[index];
        PlannedDevice device{index, DriveWorks(drive), Disabled(drive), drive.problem == CM_PROB_NEED_RESTART, false};
        if (!device.works && !device.disabled && drive.culprit >= 0 &&
            static_cast<size_t>(drive.culprit) < drive.loaded.size()) {
            const LoadedDriver& culprit = drive.loaded[static_cast<size_t>(drive.culprit)];
            device.mendable = culprit.level != LoadedDriver::Function && culprit.place != FilterPlace::Declarative &&
                              !WindowsNeedsFilter(facts.deviceClass, culprit.name.c_str());
        }
        plan.devices.push_back(device);
    }
    return plan;
}

const PlannedFilter* FindPlannedFilter(const RepairPlan& plan, FilterPlace place, const std::wstring& drive,
                                       const std::wstring& name)
{
    for (const PlannedFilter& planned : plan.filters)
        if (SamePlace(planned.entry, place, drive, name))
            return &planned;
    return nullptr;
}
