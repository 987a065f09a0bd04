#include "devices/drive_filters.h"

#include "base/handles.h"
#include "base/strings.h"
#include "devices/device_installer.h"
#include "devices/drive_health.h"
#include "res/resource.h"

#include <cfgmgr32.h>

#include <algorithm>

namespace {

constexpr DWORD FilterProperty[2] = {SPDRP_LOWERFILTERS, SPDRP_UPPERFILTERS};
constexpr const DEVPROPKEY* ResultingKey[2] = {&CompoundLowerFiltersKey, &CompoundUpperFiltersKey};

// A filter property of the drive; an empty list where the drive has none.
DWORD ReadFilterProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, MultiSzList* list)
{
    const DeviceInstallerCalls& calls = deviceInstallerCalls;
    *list = MultiSzList{};
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (calls.getDeviceRegistryProperty(set, device, property, nullptr, nullptr, 0, &size))
            return ERROR_SUCCESS; // there, and empty
        DWORD error = GetLastError();
        if (error == ERROR_INVALID_DATA)
            return ERROR_SUCCESS; // not there
        if (error != ERROR_INSUFFICIENT_BUFFER)
            return error;
        if (size == 0)
            return ERROR_SUCCESS; // there, and empty: some systems answer so

        std::vector<BYTE> data(size);
        DWORD got = 0;
        if (calls.getDeviceRegistryProperty(set, device, property, nullptr, data.data(), size, &got)) {
            *list = ParseMultiSz(data.data(), std::min(got, size));
            return ERROR_SUCCESS;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) // else it grew in between
            return GetLastError();
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

DWORD WriteFilterProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const MultiSzList& list)
{
    std::vector<BYTE> data = SerializeMultiSz(list);
    return deviceInstallerCalls.setDeviceRegistryProperty(set, device, property, data.data(),
                                                          static_cast<DWORD>(data.size()))
               ? ERROR_SUCCESS
               : GetLastError();
}

// The drive's resulting list of one level; empty where the system does not keep one.
std::vector<std::wstring> ReadResultingFilters(HDEVINFO set, SP_DEVINFO_DATA* device, const DEVPROPKEY* key)
{
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    deviceInstallerCalls.getDeviceProperty(set, device, key, &type, nullptr, 0, &size, 0);
    if (size == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    std::vector<BYTE> data(size);
    if (!deviceInstallerCalls.getDeviceProperty(set, device, key, &type, data.data(), size, &size, 0) ||
        type != DEVPROP_TYPE_STRING_LIST)
        return {};
    return ParseMultiSz(data.data(), std::min<size_t>(size, data.size())).entries;
}

bool MissingKey(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST);
}

// The drive's Device Parameters key, where its names are parked. Made when missing
// only for `create`; a missing one otherwise leaves `key` empty with success.
DWORD OpenParkingKey(HDEVINFO set, SP_DEVINFO_DATA* device, REGSAM access, bool create, UniqueKey* key)
{
    const DeviceInstallerCalls& calls = deviceInstallerCalls;
    HKEY opened = calls.openDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, access);
    if (opened == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (!MissingKey(error))
            return error;
        if (!create)
            return ERROR_SUCCESS;
        opened = calls.createDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            return GetLastError();
    }
    key->reset(opened);
    return ERROR_SUCCESS;
}

// A parking value; an empty list where it is missing, and where there is no key.
DWORD ReadParked(HKEY key, int level, MultiSzList* list)
{
    *list = MultiSzList{};
    if (!key)
        return ERROR_SUCCESS;
    LSTATUS status = ReadMultiSzValue(key, FilterValueNames[level][0], *list);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
}

// A present drive, in a set of its own.
struct OpenedDrive {
    UniqueDeviceSet set;
    SP_DEVINFO_DATA device{};
};

bool OpenDrive(const wchar_t* instanceId, OpenedDrive* drive)
{
    const DeviceInstallerCalls& calls = deviceInstallerCalls;
    drive->set.reset(calls.getClassDevs(&CdromSetupClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!drive->set)
        return false;
    drive->device.cbSize = sizeof(drive->device);
    for (DWORD index = 0; calls.enumDeviceInfo(drive->set.get(), index, &drive->device); ++index) {
        if (CompareStringOrdinal(InstanceIdOf(drive->set.get(), &drive->device).c_str(), -1, instanceId, -1, TRUE) ==
            CSTR_EQUAL)
            return true;
    }
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return false;
}

// Into the parking value first, then out of the property.
DWORD ParkLevel(OpenedDrive& drive, HKEY parking, int level, const wchar_t* name)
{
    MultiSzList own;
    DWORD error = ReadFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], &own);
    if (error != ERROR_SUCCESS || RemoveMatchingEntries(own, name) == 0)
        return error;
    MultiSzList parked;
    if ((error = ReadParked(parking, level, &parked)) != ERROR_SUCCESS)
        return error;
    if (!MultiSzListsName(parked.entries, name)) {
        parked.entries.emplace_back(name);
        LSTATUS status = WriteMultiSzValue(parking, FilterValueNames[level][0], parked);
        if (status != ERROR_SUCCESS)
            return static_cast<DWORD>(status);
    }
    return WriteFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], own);
}

// Into the property first, then out of the parking value.
DWORD RestoreLevel(OpenedDrive& drive, HKEY parking, int level, const wchar_t* name)
{
    MultiSzList parked;
    DWORD error = ReadParked(parking, level, &parked);
    if (error != ERROR_SUCCESS || RemoveMatchingEntries(parked, name) == 0)
        return error;
    MultiSzList own;
    if ((error = ReadFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], &own)) != ERROR_SUCCESS)
        return error;
    if (!MultiSzListsName(own.entries, name)) {
        own.entries.emplace_back(name);
        if ((error = WriteFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], own)) != ERROR_SUCCESS)
            return error;
    }
    return static_cast<DWORD>(WriteMultiSzValue(parking, FilterValueNames[level][0], parked));
}

DWORD DeleteLevel(OpenedDrive& drive, HKEY parking, int level, const wchar_t* name)
{
    MultiSzList own;
    DWORD error = ReadFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], &own);
    if (error != ERROR_SUCCESS)
        return error;
    if (RemoveMatchingEntries(own, name) > 0 &&
        (error = WriteFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], own)) != ERROR_SUCCESS)
        return error;
    MultiSzList parked;
    if ((error = ReadParked(parking, level, &parked)) != ERROR_SUCCESS || RemoveMatchingEntries(parked, name) == 0)
        return error;
    return static_cast<DWORD>(WriteMultiSzValue(parking, FilterValueNames[level][0], parked));
}

enum class Standing { Absent, Present, Unknown };

// Whether the drive still names `name` in its own values (and, with `parkedToo`, its
// parking values), as it holds them after an edit.
Standing DriveNames(OpenedDrive& drive, HKEY parking, const wchar_t* name, bool parkedToo)
{
    bool unknown = false;
    for (int level = 0; level < 2; ++level) {
        MultiSzList own;
        MultiSzList parked;
        if (ReadFilterProperty(drive.set.get(), &drive.device, FilterProperty[level], &own) != ERROR_SUCCESS ||
            (parkedToo && ReadParked(parking, level, &parked) != ERROR_SUCCESS)) {
            unknown = true;
            continue;
        }
        if (MultiSzListsName(own.entries, name) || MultiSzListsName(parked.entries, name))
            return Standing::Present;
    }
    return unknown ? Standing::Unknown : Standing::Absent;
}

// Runs `edit` for both levels; the first failure's code stays the thread's last
// error.
template <typename Edit>
bool EditLevels(FilterGroupEdits* edits, Edit edit)
{
    FilterGroupEdits done;
    DWORD firstError = ERROR_SUCCESS;
    for (int level = 0; level < 2; ++level) {
        DWORD error = edit(level);
        (level ? done.upper : done.lower) = error == ERROR_SUCCESS;
        if (error != ERROR_SUCCESS && firstError == ERROR_SUCCESS)
            firstError = error;
    }
    if (edits)
        *edits = done;
    SetLastError(firstError);
    return firstError == ERROR_SUCCESS;
}

// The drive to edit and its parking key, made first when `createParking`.
bool OpenForEdit(const wchar_t* instanceId, bool createParking, OpenedDrive* drive, UniqueKey* parking)
{
    if (!OpenDrive(instanceId, drive))
        return false;
    DWORD error = OpenParkingKey(drive->set.get(), &drive->device, KEY_READ | KEY_WRITE, createParking, parking);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

} // namespace

std::wstring InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!deviceInstallerCalls.getDeviceInstanceId(set, device, id, MAX_DEVICE_ID_LEN + 1, nullptr))
        return {};
    return id;
}

DriveFilterLists ReadDriveFilterLists(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    DriveFilterLists lists;
    UniqueKey parking;
    DWORD keyError = OpenParkingKey(set, device, KEY_READ, false, &parking);
    for (int level = 0; level < 2; ++level) {
        MultiSzList own;
        MultiSzList parked;
        if (ReadFilterProperty(set, device, FilterProperty[level], &own) != ERROR_SUCCESS ||
            keyError != ERROR_SUCCESS || ReadParked(parking.get(), level, &parked) != ERROR_SUCCESS)
            lists.known = false;
        lists.own[level] = std::move(own.entries);
        lists.parked[level] = std::move(parked.entries);
        lists.resulting[level] = ReadResultingFilters(set, device, ResultingKey[level]);
    }
    return lists;
}

bool ReadDriveFilterListsOf(const wchar_t* instanceId, DriveFilterLists* lists)
{
    OpenedDrive drive;
    if (!OpenDrive(instanceId, &drive))
        return false;
    *lists = ReadDriveFilterLists(drive.set.get(), &drive.device);
    return true;
}

std::vector<std::wstring> DeclarativeFilters(const DriveFilterLists& lists, int level,
                                             const std::vector<std::wstring>& classActive)
{
    std::vector<std::wstring> added;
    for (const std::wstring& name : lists.resulting[level])
        if (!MultiSzListsName(classActive, name.c_str()) && !MultiSzListsName(lists.own[level], name.c_str()) &&
            !MultiSzListsName(added, name.c_str()))
            added.push_back(name);
    return added;
}

bool ReadClassActiveFilters(std::vector<std::wstring> (&active)[2])
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
        return false;
    bool known = true;
    for (int level = 0; level < 2; ++level) {
        MultiSzList list;
        LSTATUS status = ReadMultiSzValue(key.get(), level ? UpperFiltersValue : LowerFiltersValue, list);
        known = known && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
        active[level] = std::move(list.entries);
    }
    return known;
}

bool DeactivateDriveFilter(const wchar_t* instanceId, const wchar_t* name, FilterGroupEdits* edits,
                           std::vector<ServiceUser>* keptFor)
{
    if (edits)
        *edits = FilterGroupEdits{};
    if (keptFor)
        keptFor->clear();
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(instanceId, true, &drive, &parking))
        return false;
    bool ok = EditLevels(edits, [&](int level) { return ParkLevel(drive, parking.get(), level, name); });
    DWORD result = GetLastError();
    if (DriveNames(drive, parking.get(), name, false) == Standing::Absent)
        RetireFilterService(name, false, DriveUsersOf(name, false), keptFor);
    SetLastError(result);
    return ok;
}

bool ActivateDriveFilter(const wchar_t* instanceId, const wchar_t* name, FilterGroupEdits* edits)
{
    if (edits)
        *edits = FilterGroupEdits{};
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(instanceId, false, &drive, &parking))
        return false;
    bool ok = EditLevels(edits, [&](int level) { return RestoreLevel(drive, parking.get(), level, name); });
    DWORD result = GetLastError();
    // A filter in force whose service is disabled leaves the drive without it.
    if (DriveNames(drive, parking.get(), name, false) == Standing::Present)
        EnableFilterService(name);
    SetLastError(result);
    return ok;
}

bool DeleteDriveFilter(const wchar_t* instanceId, bool upper, const wchar_t* name, std::vector<ServiceUser>* keptFor)
{
    if (keptFor)
        keptFor->clear();
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(instanceId, false, &drive, &parking))
        return false;
    DWORD result = DeleteLevel(drive, parking.get(), upper ? 1 : 0, name);
    if (DriveNames(drive, parking.get(), name, true) == Standing::Absent)
        RetireFilterService(name, true, DriveUsersOf(name, true), keptFor);
    SetLastError(result);
    return result == ERROR_SUCCESS;
}

std::vector<ServiceUser> DriveUsersOf(const wchar_t* name, bool deleting)
{
    std::vector<ServiceUser> users;
    std::vector<DriveHealth> drives;
    std::vector<std::wstring> classActive[2];
    bool classKnown = ReadClassActiveFilters(classActive);
    // Drives that cannot be listed may use it.
    if (!ReadDrives(&drives) || !classKnown)
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
