// Whether each device of a class works, and if not which driver of its stack
// explains it, as the device installer and the machine's services tell it.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"
#include "devices/drive_filters.h"
#include "devices/filter_place.h"
#include "services/service_info.h"

#include <windows.h>

#include <string>
#include <vector>

// One driver of a device's stack, as it loads: a filter of either level, or the
// device's own driver.
struct LoadedDriver {
    enum Level { Lower = 0, Upper = 1, Function = 2 };
    std::wstring name;
    Level level;
    FilterPlace place; // the device's own driver counts as the device's
    DriverCondition condition;
};

struct DriveHealth {
    std::wstring name;         // friendly name, else the device description
    bool started = false;      // the device runs
    ULONG problem = 0;         // the device's problem code; 0 for none
    std::wstring instanceId;
    DriveFilterLists filters;
    // Every driver it loads, lower filters first; and the first of them whose
    // trouble explains why the device does not work, or -1.
    std::vector<LoadedDriver> loaded;
    int culprit = -1;
};

// Reads every present device of `deviceClass`, afresh at each call, with its own
// filters and, where the system keeps it, its resulting filter list, and asks
// `machine` of each driver it loads whether it can load. False when the device set
// cannot be made or a device's state cannot be read.
bool ReadDriveHealth(const Machine& machine, const DeviceClass& deviceClass, std::vector<DriveHealth>* drives);

// The same without asking the services: `loaded` stays empty and `culprit` -1.
bool ReadDrives(const DeviceClass& deviceClass, std::vector<DriveHealth>* drives);

// Whether the device runs without a problem.
bool DriveWorks(const DriveHealth& drive);
