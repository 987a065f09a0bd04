#include "devices/filter_entries.h"

#include "base/handles.h"
#include "devices/drive_filters.h"
#include "devices/drive_health.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "services/service_info.h"

namespace {

void AddNames(std::vector<FilterEntry>* entries, const FilterEntry& shape, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names) {
        FilterEntry entry = shape;
        entry.name = name;
        entries->push_back(std::move(entry));
    }
}

} // namespace

LSTATUS ReadFilterEntries(const std::vector<DriveHealth>& drives, std::vector<FilterEntry>* entries)
{
    entries->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassReadAccess, key.put());
    std::vector<std::wstring> classActive[2];
    if (status == ERROR_SUCCESS) {
        for (int level = 0; level < 2; ++level) {
            for (int active = 1; active >= 0; --active) {
                MultiSzList list;
                LSTATUS read = ReadMultiSzValue(key.get(), FilterValueNames[level][active], list);
                // A value that cannot be read may hold any name: the caller must not
                // take its absence for an empty list.
                if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND && status == ERROR_SUCCESS)
                    status = read;
                if (read != ERROR_SUCCESS)
                    continue;
                if (active)
                    classActive[level] = list.entries;
                AddNames(entries, {FilterPlace::Class, level, active != 0, L"", L"", L""}, list.entries);
            }
        }
    }
    for (const DriveHealth& drive : drives) {
        for (int level = 0; level < 2; ++level) {
            FilterEntry shape{FilterPlace::Drive, level, true, L"", drive.instanceId, drive.name};
            AddNames(entries, shape, drive.filters.own[level]);
            shape.active = false;
            AddNames(entries, shape, drive.filters.parked[level]);
            shape.active = true;
            shape.place = FilterPlace::Declarative;
            AddNames(entries, shape, DeclarativeFilters(drive.filters, level, classActive[level]));
        }
    }
    return status;
}

bool ParkEntry(const FilterEntry& entry, std::vector<ServiceUser>* keptFor)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return DeactivateFilter(entry.name.c_str(), nullptr, keptFor, DriveUsersOf);
    case FilterPlace::Drive:
        return DeactivateDriveFilter(entry.drive.c_str(), entry.name.c_str(), nullptr, keptFor);
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool RestoreEntry(const FilterEntry& entry)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return ActivateFilter(entry.name.c_str());
    case FilterPlace::Drive:
        return ActivateDriveFilter(entry.drive.c_str(), entry.name.c_str());
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool DeleteEntry(const FilterEntry& entry, std::vector<ServiceUser>* keptFor)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return DeleteFilter(entry.level ? UpperFiltersValue : LowerFiltersValue, entry.name.c_str(), keptFor,
                            DriveUsersOf);
    case FilterPlace::Drive:
        return DeleteDriveFilter(entry.drive.c_str(), entry.level == 1, entry.name.c_str(), keptFor);
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool FixParks(FilterPlace place, DWORD serviceState, bool noDrivePresent)
{
    if (place == FilterPlace::Declarative)
        return false;
    // State 0: the manager or the service could not be asked, so a running filter
    // may stand here. A running one stays even when its configuration was unreadable.
    return noDrivePresent ? serviceState == ServiceStateNotFound
                          : serviceState != 0 && serviceState != SERVICE_RUNNING;
}
