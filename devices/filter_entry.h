// Where a filter name stands: the DVD/CD-ROM class key, or one drive's own values,
// or only a drive's resulting list, where a driver package put it.
#pragma once

enum class FilterPlace {
    Class,       // UpperFilters / LowerFilters of the class key, and their parking values
    Drive,       // a drive's own UpperFilters / LowerFilters, and their parking values
    Declarative, // only in a drive's resulting list: its driver package owns it, so it is read-only here
};
