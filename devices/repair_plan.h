// What "fix problems" repairs, decided once from the facts, for every front end:
// which filter entries it parks, which it leaves, which it cannot judge, and
// whether each device works and could be mended that way.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"
#include "devices/drive_health.h"
#include "devices/filter_place.h"
#include "services/service_info.h"

#include <windows.h>

#include <string>
#include <vector>

struct NamedCondition {
    std::wstring name;
    DriverCondition condition;
};

// Everything the plan is made from.
struct RepairFacts {
    DeviceClass deviceClass; // whose filters and devices these are
    std::vector<FilterEntry> entries;
    LSTATUS entriesStatus = ERROR_SUCCESS; // as ReadFilterEntries answered
    std::vector<DriveHealth> drives;
    bool drivesKnown = true;
    // Another installation's: no device and no running state to go by.
    bool offline = false;
    // The condition of each name the entries hold; a name missing here is unknown.
    std::vector<NamedCondition> conditions;
};

// Reads the facts of `deviceClass` on `machine`: its devices' health, every
// filter entry, and the condition of each filter in force, and of the parked ones
// too when `parkedToo` (asked once per name, and not again for a driver a device's
// stack already asked about). A parked name not asked about cannot be told.
RepairFacts GatherRepairFacts(const Machine& machine, const DeviceClass& deviceClass, bool parkedToo);

enum class FixVerdict {
    Park,       // its service is missing, or not running while a device could load it;
                // offline, its service is missing or disabled, or its file is not there
    Leave,      // nothing wrong with it, or it is not ours to change
    CannotTell, // its service could not be asked
    WindowsOwn, // one of Windows' own filters of the class: never parked, whatever its state
};

// One name in one place (the class key, or one device's own values), judged once
// whichever levels and states its entries stand in.
struct PlannedFilter {
    FilterEntry entry; // the first of its entries in force, else its first
    bool active;       // one of its entries is in force
    DriverCondition condition;
    FixVerdict verdict;
};

struct PlannedDevice {
    size_t drive;  // its index in RepairFacts::drives
    bool works;
    bool disabled; // switched off (problem 22 or 29): no stack, so no evidence
    bool waiting;  // waits for Windows to restart (problem 14)
    // What explains that it does not work is a filter the plan can park: never its
    // own driver, nor a filter a driver package added, nor one of Windows' own.
    bool mendable;
};

struct RepairPlan {
    std::vector<PlannedFilter> filters;
    std::vector<PlannedDevice> devices;
    // No device that could load a filter is there (none, or every one disabled), so
    // a stopped filter is no sign of trouble: only a missing service is.
    bool noEvidence = false;
};

RepairPlan PlanRepair(const RepairFacts& facts);

// The planned filter of `name` in the place of `entry`; null when the plan has none.
const PlannedFilter* FindPlannedFilter(const RepairPlan& plan, FilterPlace place, const std::wstring& drive,
                                       const std::wstring& name);
