#include "devices/filter_entries.h"

#include "base/handles.h"
#include "base/strings.h"
#include "devices/device_installer.h"
#include "devices/drive_filters.h"
#include "filters/device_classes.h"
#include "filters/filter_lists.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "res/resource.h"
#include "services/service_info.h"

#include <cfgmgr32.h>


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

namespace {

// How the user knows a device: its friendly name, else its description, else its
// instance id.
std::wstring DeviceName(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    for (DWORD property : {SPDRP_FRIENDLYNAME, SPDRP_DEVICEDESC}) {
        std::wstring name = DeviceText(set, device, property);
        if (!name.empty())
            return name;
    }
    return InstanceIdOf(set, device);
}

// Present devices of every class whose resulting lists name `name` though their own
// values do not: a driver package added it to them. Their own values, parked names
// and function drivers are the registry scan's to find; the devices in `judged` are
// judged by the caller.
void AddDeclarativeDeviceUsers(const wchar_t* name, const std::vector<std::wstring>& judged,
                               std::vector<ServiceUser>* users)
{
    ForEachDevice(nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT, [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        bool named = false;
        bool unreadable = false;
        for (int level = 0; level < 2; ++level) {
            std::vector<std::wstring> resulting;
            DWORD status = ReadResultingList(set, device, level, &resulting);
            unreadable = unreadable || (status != ERROR_SUCCESS && status != ERROR_NOT_FOUND);
            named = named || MultiSzListsName(resulting, name);
        }
        if (!named && !unreadable)
            return true;
        if (MultiSzListsName(judged, InstanceIdOf(set, device).c_str()))
            return true;
        if (unreadable) {
            users->push_back({ServiceUser::Unreadable, DeviceName(set, device)});
            return true;
        }
        DriveFilterLists lists = ReadDriveFilterLists(set, device);
        if (!MultiSzListsName(lists.own[0], name) && !MultiSzListsName(lists.own[1], name))
            users->push_back({ServiceUser::Device, DeviceName(set, device)});
        return true;
    });
}

// Classes whose resulting lists name `name` though their keys' values do not: a
// driver package added it to the class.
void AddDeclarativeClassUsers(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                              std::vector<ServiceUser>* users)
{
    if (!deviceInstallerCalls.getClassProperty)
        return;
    ForEachClassKey(machine, [&](HKEY key, const wchar_t* subkey, const GUID& guid) {
        bool named = false;
        bool unreadable = false;
        for (int level = 0; level < 2; ++level) {
            std::vector<std::wstring> resulting;
            DWORD status = ReadClassResultingList(guid, level, &resulting);
            unreadable = unreadable || (status != ERROR_SUCCESS && status != ERROR_NOT_FOUND);
            named = named || MultiSzListsName(resulting, name);
        }
        if (!named && !unreadable)
            return;
        KeyFilterLists lists(key);
        // Named as the user knows it even where the key carries no description.
        ServiceUser user = ClassUser(key, IsEqualGUID(guid, deviceClass.guid) ? deviceClass.name.c_str() : subkey);
        if (unreadable)
            users->push_back({ServiceUser::Unreadable, user.name});
        else if (NameStands(lists, name, AllSlots) == Standing::Absent)
            users->push_back(user);
    });
}

// Whether one of `drives` that can run loads `name`: its own or resulting lists, or
// the class's values, name it.
bool ADriveLoads(const std::vector<DriveHealth>& drives, const std::vector<std::wstring> (&classActive)[2],
                 const wchar_t* name)
{
    for (const DriveHealth& drive : drives) {
        if (drive.problem == CM_PROB_DISABLED || drive.problem == CM_PROB_HARDWARE_DISABLED)
            continue;
        for (int level = 0; level < 2; ++level)
            if (MultiSzListsName(drive.filters.own[level], name) ||
                MultiSzListsName(drive.filters.resulting[level], name) || MultiSzListsName(classActive[level], name))
                return true;
    }
    return false;
}

} // namespace

std::vector<ServiceUser> DriveUsersOf(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                                      bool deleting)
{
    std::vector<ServiceUser> users;
    // This system's devices and its installer's class lists tell nothing of another
    // installation; its own Enum and classes are scanned with the service.
    if (machine.offline)
        return users;
    std::vector<DriveHealth> drives;
    std::vector<std::wstring> classActive[2];
    bool classKnown = ReadClassActiveFilters(machine, deviceClass, classActive);
    // Devices that cannot be listed may use it.
    bool drivesKnown = ReadDrives(deviceClass, &drives);
    if (!drivesKnown || !classKnown)
        users.push_back({ServiceUser::Unreadable, LoadProgramString(IDS_UNNAMED_DRIVE)});
    std::vector<std::wstring> judged;
    for (const DriveHealth& drive : drives) {
        judged.push_back(drive.instanceId);
        bool uses = !drive.filters.known && deleting;
        for (int level = 0; level < 2; ++level)
            uses = uses || MultiSzListsName(DeclarativeFilters(drive.filters, level, classActive[level]), name);
        if (uses)
            users.push_back({ServiceUser::Device, drive.name});
    }
    // Something else started a driver that runs while no device of the class loads it.
    if (drivesKnown && classKnown && !ADriveLoads(drives, classActive, name) &&
        ReadDriverCondition(machine, name).currentState == SERVICE_RUNNING)
        users.push_back({ServiceUser::Loaded, FormatProgramString(IDS_USER_LOADED, {deviceClass.name})});
    AddDeclarativeDeviceUsers(name, judged, &users);
    AddDeclarativeClassUsers(machine, deviceClass, name, &users);
    return users;
}
