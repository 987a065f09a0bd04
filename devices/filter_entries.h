// Every filter name of a class as it stands, wherever it stands, with the
// operations that apply to it: what the filter list shows row by row, and what the
// console companion works on without a window.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"
#include "devices/drive_health.h"
#include "devices/filter_place.h"
#include "filters/service_users.h"

#include <windows.h>

#include <string>
#include <vector>

// The class key's four values, then each of `drives`' own, parked and declarative
// names, each value's names in their order. Returns the registry's status of the
// class key, else that of the first of its values that could not be read; what
// cannot be read is left out, and a missing value holds none.
LSTATUS ReadFilterEntries(const Machine& machine, const DeviceClass& deviceClass,
                          const std::vector<DriveHealth>& drives, std::vector<FilterEntry>* entries);

// The operations of the filter list's rows on one entry, with the devices' users of
// a service counted. Each returns whether the list edit took effect, with the
// thread's last error set when it did not; a declarative entry is never changed.
// Park and restore move the name in both levels of its place, as the list does.
bool ParkEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry,
               std::vector<ServiceUser>* keptFor);
bool RestoreEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry);
bool DeleteEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry,
                 std::vector<ServiceUser>* keptFor);

// Users of service `name` that only the devices of `deviceClass` tell of: a present
// device whose resulting list holds it while neither the class key nor the device's
// own values do (added declaratively), and, when `deleting`, a device whose parking
// values hold it.
std::vector<ServiceUser> DriveUsersOf(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                                      bool deleting);
