// Whether each CD/DVD drive works, and if not why, as the device installer sees
// it, in the user's words.
#pragma once

#include "devices/drive_filters.h"
#include "devices/filter_entries.h"
#include "services/service_info.h"

#include <windows.h>

#include <string>
#include <vector>

// One driver of a drive's stack, as it loads: a filter of either level, or the
// drive's own driver.
struct LoadedDriver {
    enum Level { Lower = 0, Upper = 1, Function = 2 };
    std::wstring name;
    Level level;
    FilterPlace place; // the drive's own driver counts as the drive's
    DriverCondition condition;
};

struct DriveHealth {
    std::wstring name;         // friendly name, else the device description
    bool started = false;      // the device runs
    ULONG problem = 0;         // the device's problem code; 0 for none
    std::wstring instanceId;
    DriveFilterLists filters;
    // Every driver it loads, lower filters first; and the first of them whose
    // trouble explains why the drive does not work, or -1.
    std::vector<LoadedDriver> loaded;
    int culprit = -1;
};

// Reads every present device of the CD-ROM setup class, afresh at each call, with
// its own filters and, where the system keeps it, its resulting filter list, and
// asks the service of each driver it loads whether it can load. False when the
// device set cannot be made or a drive's state cannot be read.
bool ReadDriveHealth(std::vector<DriveHealth>* drives);

// The same without asking the services: `loaded` stays empty and `culprit` -1.
bool ReadDrives(std::vector<DriveHealth>* drives);

// Whether the drive runs without a problem.
bool DriveWorks(const DriveHealth& drive);

// The state of one drive in the user's words: "working", "not started", or its
// problem code with a short meaning where one is known; then, for a drive that
// does not work, the driver that explains it ("filter X is missing").
std::wstring DriveStateText(const DriveHealth& drive);

// The part's text in two pieces: `name`, which may be shortened to fit, and
// `rest`, which never is (so the code and its meaning stay in view).
struct DriveHealthText {
    std::wstring name;
    std::wstring rest;
};
DriveHealthText ComposeDriveHealthText(bool known, const std::vector<DriveHealth>& drives);

// Every drive on a line of its own, with its name and state, and below it the
// drivers it loads with theirs, for the detail box.
std::wstring DescribeDrives(bool known, const std::vector<DriveHealth>& drives);
