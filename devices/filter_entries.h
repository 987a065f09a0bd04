// Every filter name as it stands, wherever it stands, with the operations and the
// repair rule that apply to it: what the filter list shows row by row, and what the
// console companion works on without a window.
#pragma once

#include "filters/service_users.h"

#include <windows.h>

#include <string>
#include <vector>

struct DriveHealth;

// Where a filter name stands.
enum class FilterPlace {
    Class,       // UpperFilters / LowerFilters of the class key, and their parking values
    Drive,       // a drive's own UpperFilters / LowerFilters, and their parking values
    Declarative, // only in a drive's resulting list: its driver package owns it, so it is read-only here
};

struct FilterEntry {
    FilterPlace place = FilterPlace::Class;
    int level = 0;      // 0 LowerFilters, 1 UpperFilters
    bool active = true; // in force, else parked; a declarative one is always in force
    std::wstring name;
    std::wstring drive;     // the drive's instance id; empty for the class key
    std::wstring driveName; // the drive's name as the status bar gives it
};

// The class key's four values, then each of `drives`' own, parked and declarative
// names, each value's names in their order. Returns the registry's status of the
// class key, else that of the first of its values that could not be read; what
// cannot be read is left out, and a missing value holds none.
LSTATUS ReadFilterEntries(const std::vector<DriveHealth>& drives, std::vector<FilterEntry>* entries);

// The operations of the filter list's rows on one entry, with the drives' users of
// a service counted. Each returns whether the list edit took effect, with the
// thread's last error set when it did not; a declarative entry is never changed.
// Park and restore move the name in both levels of its place, as the list does.
bool ParkEntry(const FilterEntry& entry, std::vector<ServiceUser>* keptFor);
bool RestoreEntry(const FilterEntry& entry);
bool DeleteEntry(const FilterEntry& entry, std::vector<ServiceUser>* keptFor);

// Whether "Fix problems automatically" parks an active filter whose service reads
// `serviceState` (0 when it could not be asked): one that is missing, or that is not
// running while a drive is present (or it is not known whether one is). A filter is
// loaded only while a drive that uses it is present, so with none a stopped one is no
// sign of trouble. A declarative filter is never parked.
bool FixParks(FilterPlace place, DWORD serviceState, bool noDrivePresent);
