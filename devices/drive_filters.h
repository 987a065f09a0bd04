// A device's own filters. They stand in the UpperFilters and LowerFilters of the
// device's hardware key, which only the system may write: they are changed through
// the device installer's registry properties alone. A name parked from them waits
// in UpperFiltersRemoved or LowerFiltersRemoved of the device's "Device Parameters"
// key. The device's resulting filter list also holds filters its driver package
// added declaratively; those belong to the package and are only shown.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"
#include "filters/filter_registry.h"
#include "filters/service_users.h"

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

// [0] lower, [1] upper, as the filter list's groups.
struct DriveFilterLists {
    std::vector<std::wstring> own[2];       // its own values, in force
    std::vector<std::wstring> parked[2];    // parked from them by this program
    std::vector<std::wstring> resulting[2]; // what it loads in the end; empty where the system does not say
    bool known = true;                      // every list could be read (a missing one is empty)
};

// A device's resulting list of one level ([0] lower, [1] upper), as the system
// made it: its own filters and those its driver package added. ERROR_NOT_FOUND
// where the system keeps none (older Windows, and Wine), another failure where it
// could not be read.
DWORD ReadResultingList(HDEVINFO set, SP_DEVINFO_DATA* device, int level, std::vector<std::wstring>* names);

// The same of a setup class: its key's value and what driver packages added to the
// class. ERROR_NOT_FOUND also where the system lacks the call to ask.
DWORD ReadClassResultingList(const GUID& classGuid, int level, std::vector<std::wstring>* names);

// Reads the lists of one device of `set`.
DriveFilterLists ReadDriveFilterLists(HDEVINFO set, SP_DEVINFO_DATA* device);
// The same for the present device `instanceId` of `deviceClass`; false when it is
// not there.
bool ReadDriveFilterListsOf(const DeviceClass& deviceClass, const wchar_t* instanceId, DriveFilterLists* lists);

// The names of the resulting list of `level` that neither `classActive` (the class
// key's value of that level) nor the device's own value holds: added declaratively.
std::vector<std::wstring> DeclarativeFilters(const DriveFilterLists& lists, int level,
                                             const std::vector<std::wstring>& classActive);

// The setup classes of the present devices that carry filters of their own.
std::vector<GUID> ClassesOfDevicesWithOwnFilters();

// The class key's active value of each level ([0] lower, [1] upper); false when the
// key or a value cannot be read.
bool ReadClassActiveFilters(const Machine& machine, const DeviceClass& deviceClass,
                            std::vector<std::wstring> (&active)[2]);

// Each returns whether the list edit took effect on the present device `instanceId`
// of `deviceClass`; on failure the thread's last error says why. The service then
// follows as it does for the class key's edits, with `alsoUsing` asked for the
// users only the devices tell of.

// Parks `name` from both of the device's own values: written to the parking value
// first, and only then taken out of the property, so a failed write can leave it
// in both but never in neither.
bool DeactivateDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId,
                           const wchar_t* name, FilterGroupEdits* edits = nullptr,
                           std::vector<ServiceUser>* keptFor = nullptr, AlsoUsingCall alsoUsing = nullptr);

// Restores `name` to both of the device's own values: the property first, then the
// parking value.
bool ActivateDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId,
                         const wchar_t* name, FilterGroupEdits* edits = nullptr);

// Drops `name` from one of the device's own values (`upper` picks which) and its
// parking value.
bool DeleteDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId, bool upper,
                       const wchar_t* name, std::vector<ServiceUser>* keptFor = nullptr,
                       AlsoUsingCall alsoUsing = nullptr);
