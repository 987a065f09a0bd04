// Enabling, disabling or re-configuring every device of a class, the CD-ROM
// devices first of all.
#pragma once

#include "base/device_class.h"

#include <windows.h>

// What one state change came to, so the user can be told when it did not happen.
struct DeviceChangeOutcome {
    DWORD devices = 0;           // devices in the set
    DWORD changed = 0;           // devices that took the change
    DWORD error = ERROR_SUCCESS; // why the last refusing device refused
    bool restartNeeded = false;  // a device that took it needs Windows restarted to finish
    bool noDeviceSet = false;    // the devices could not be listed, so none was reached
};

// state: DICS_ENABLE (1), DICS_DISABLE (2) or DICS_PROPCHANGE (3). True when the
// last device handled took the change; false with no device or no device set.
bool ChangeDeviceState(const DeviceClass& deviceClass, DWORD state, DeviceChangeOutcome* outcome = nullptr);

// The same for the CD-ROM devices.
bool ChangeCdromDeviceState(DWORD state, DeviceChangeOutcome* outcome = nullptr);

// What the user must hear after a change: nothing (it worked, or there was no
// drive to change), that no drive took it (also when the devices could not be
// listed), or, once however many devices asked, that Windows must be restarted.
enum class DeviceChangeNotice { None, NotChanged, RestartNeeded };
DeviceChangeNotice PlanDeviceChangeNotice(const DeviceChangeOutcome& outcome);
