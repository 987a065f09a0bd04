// Where a filter name stands: the record every list of filters is made of, from the
// class key and from each device's own and declarative lists.
#pragma once

#include <string>

enum class FilterPlace {
    Class,       // UpperFilters / LowerFilters of the class key, and their parking values
    Drive,       // a device's own UpperFilters / LowerFilters, and their parking values
    Declarative, // only in a device's resulting list: its driver package owns it, so it is read-only here
};

struct FilterEntry {
    FilterPlace place = FilterPlace::Class;
    int level = 0;      // 0 LowerFilters, 1 UpperFilters
    bool active = true; // in force, else parked; a declarative one is always in force
    std::wstring name;
    std::wstring drive;     // the device's instance id; empty for the class key
    std::wstring driveName; // the device's name as the status bar gives it
};
