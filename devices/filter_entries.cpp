#include "devices/filter_entries.h"

#include "base/handles.h"
#include "base/strings.h"
#include "devices/drive_filters.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "res/resource.h"

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

LSTATUS ReadFilterEntries(const Machine& machine, const DeviceClass& deviceClass,
                          const std::vector<DriveHealth>& drives, std::vector<FilterEntry>* entries)
{
    entries->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(machine, deviceClass, FilterClassReadAccess, key.put());
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

bool ParkEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry,
               std::vector<ServiceUser>* keptFor)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return DeactivateFilter(machine, deviceClass, entry.name.c_str(), nullptr, keptFor, DriveUsersOf);
    case FilterPlace::Drive:
        return DeactivateDriveFilter(machine, deviceClass, entry.drive.c_str(), entry.name.c_str(), nullptr, keptFor,
                                     DriveUsersOf);
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool RestoreEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return ActivateFilter(machine, deviceClass, entry.name.c_str());
    case FilterPlace::Drive:
        return ActivateDriveFilter(machine, deviceClass, entry.drive.c_str(), entry.name.c_str());
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

bool DeleteEntry(const Machine& machine, const DeviceClass& deviceClass, const FilterEntry& entry,
                 std::vector<ServiceUser>* keptFor)
{
    switch (entry.place) {
    case FilterPlace::Class:
        return DeleteFilter(machine, deviceClass, FilterValueNames[entry.level][1], entry.name.c_str(), keptFor,
                            DriveUsersOf);
    case FilterPlace::Drive:
        return DeleteDriveFilter(machine, deviceClass, entry.drive.c_str(), entry.level == 1, entry.name.c_str(),
                                 keptFor, DriveUsersOf);
    case FilterPlace::Declarative:
        break;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

std::vector<ServiceUser> DriveUsersOf(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                                      bool deleting)
{
    std::vector<ServiceUser> users;
    std::vector<DriveHealth> drives;
    std::vector<std::wstring> classActive[2];
    bool classKnown = ReadClassActiveFilters(machine, deviceClass, classActive);
    // Devices that cannot be listed may use it.
    if (!ReadDrives(deviceClass, &drives) || !classKnown)
        users.push_back({ServiceUser::Unreadable, LoadProgramString(IDS_UNNAMED_DRIVE)});
    for (const DriveHealth& drive : drives) {
        bool uses = !drive.filters.known && deleting;
        for (int level = 0; level < 2; ++level) {
            uses = uses || MultiSzListsName(DeclarativeFilters(drive.filters, level, classActive[level]), name) ||
                   (deleting && MultiSzListsName(drive.filters.parked[level], name));
        }
        if (uses)
            users.push_back({ServiceUser::Device, drive.name});
    }
    return users;
}
