#include "devices/drive_filters.h"

#include "base/handles.h"
#include "base/sized_read.h"
#include "devices/device_installer.h"
#include "filters/filter_lists.h"
#include "filters/multi_sz.h"

#include <cfgmgr32.h>

#include <algorithm>

namespace {

constexpr DWORD FilterProperty[2] = {SPDRP_LOWERFILTERS, SPDRP_UPPERFILTERS};
constexpr const DEVPROPKEY* ResultingKey[2] = {&CompoundLowerFiltersKey, &CompoundUpperFiltersKey};

// A filter property of the device; ERROR_FILE_NOT_FOUND where it has none.
DWORD ReadFilterProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, MultiSzList* list)
{
    *list = MultiSzList{};
    std::vector<BYTE> data(UsualAnswerBytes);
    DWORD got = 0;
    DWORD status = ReadSized(data, &got, ERROR_INSUFFICIENT_BUFFER, [&](BYTE* bytes, DWORD* size) {
        DWORD required = 0;
        if (deviceInstallerCalls.getDeviceRegistryProperty(set, device, property, nullptr, bytes, *size,
                                                           &required)) {
            *size = bytes ? required : 0; // there, and empty, when asked without room
            return static_cast<DWORD>(ERROR_SUCCESS);
        }
        DWORD error = GetLastError();
        *size = required;
        // There, and empty: some systems answer so.
        return error == ERROR_INSUFFICIENT_BUFFER && required == 0 ? static_cast<DWORD>(ERROR_SUCCESS) : error;
    });
    if (status == ERROR_INVALID_DATA)
        return ERROR_FILE_NOT_FOUND;
    if (status == ERROR_SUCCESS)
        *list = ParseMultiSz(data.data(), got);
    return status;
}

DWORD WriteFilterProperty(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const MultiSzList& list)
{
    std::vector<BYTE> data = SerializeMultiSz(list);
    return deviceInstallerCalls.setDeviceRegistryProperty(set, device, property, data.data(),
                                                          static_cast<DWORD>(data.size()))
               ? ERROR_SUCCESS
               : GetLastError();
}

constexpr const DEVPROPKEY* ClassResultingKey[2] = {&ClassCompoundLowerFiltersKey, &ClassCompoundUpperFiltersKey};

// A string-list property that `get(type, buffer, size, required)` reads; see
// ReadResultingList for the answers.
template <typename Get>
DWORD ReadStringListProperty(Get get, std::vector<std::wstring>* names)
{
    names->clear();
    std::vector<BYTE> data(UsualAnswerBytes);
    DWORD got = 0;
    DEVPROPTYPE type = 0;
    DWORD status = ReadSized(data, &got, ERROR_INSUFFICIENT_BUFFER, [&](BYTE* bytes, DWORD* size) {
        DWORD required = 0;
        BOOL read = get(&type, bytes, *size, &required);
        *size = required;
        return read ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
    });
    if (status != ERROR_SUCCESS)
        return status;
    // Another type is no list of filters.
    if (type == DEVPROP_TYPE_STRING_LIST)
        *names = ParseMultiSz(data.data(), got).entries;
    return ERROR_SUCCESS;
}

bool MissingKey(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST);
}

// The device's Device Parameters key, where its names are parked. Made when missing
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

// A device's lists: its own through the installer's properties, its parked names in
// its parking key, which may be missing (then it parks nothing).
class DriveLists final : public FilterLists {
public:
    DriveLists(HDEVINFO set, SP_DEVINFO_DATA* device, HKEY parking) : set_(set), device_(device), parking_(parking) {}

    DWORD Read(int level, bool active, MultiSzList* list) override
    {
        if (active)
            return ReadFilterProperty(set_, device_, FilterProperty[level], list);
        *list = MultiSzList{};
        return parking_ ? static_cast<DWORD>(ReadMultiSzValue(parking_, FilterValueNames[level][0], *list))
                        : static_cast<DWORD>(ERROR_FILE_NOT_FOUND);
    }

    DWORD Write(int level, bool active, const MultiSzList& list) override
    {
        if (active)
            return WriteFilterProperty(set_, device_, FilterProperty[level], list);
        return parking_ ? static_cast<DWORD>(WriteMultiSzValue(parking_, FilterValueNames[level][0], list))
                        : static_cast<DWORD>(ERROR_FILE_NOT_FOUND);
    }

private:
    HDEVINFO set_;
    SP_DEVINFO_DATA* device_;
    HKEY parking_;
};

// A present device, in a set of its own.
struct OpenedDrive {
    UniqueDeviceSet set;
    SP_DEVINFO_DATA device{};
};

bool OpenDrive(const DeviceClass& deviceClass, const wchar_t* instanceId, OpenedDrive* drive)
{
    drive->set = OpenDeviceSet(&deviceClass.guid, DIGCF_PRESENT);
    if (!drive->set)
        return false;
    bool found = false;
    ForEachDeviceIn(drive->set.get(), [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        found = CompareStringOrdinal(InstanceIdOf(set, device).c_str(), -1, instanceId, -1, TRUE) == CSTR_EQUAL;
        if (found)
            drive->device = *device;
        return !found;
    });
    if (!found)
        SetLastError(ERROR_NO_SUCH_DEVINST);
    return found;
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

// The device to edit and its parking key, made first when `createParking`.
bool OpenForEdit(const DeviceClass& deviceClass, const wchar_t* instanceId, bool createParking, OpenedDrive* drive,
                 UniqueKey* parking)
{
    if (!OpenDrive(deviceClass, instanceId, drive))
        return false;
    DWORD error = OpenParkingKey(drive->set.get(), &drive->device, KEY_READ | KEY_WRITE, createParking, parking);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

// The users `alsoUsing` gives, asked before the edit, while the device's lists still
// show the name as its own: afterwards the system's resulting list, made when the
// device started, would tell of it as added by a driver package. Not asked where the
// class key names it, since its service then stays for the class anyway.
std::vector<ServiceUser> AskBeforeEdit(AlsoUsingCall alsoUsing, const Machine& machine,
                                       const DeviceClass& deviceClass, const wchar_t* name, bool deleting)
{
    if (!alsoUsing)
        return {};
    UniqueKey key;
    if (OpenFilterClassKey(machine, deviceClass, FilterClassReadAccess, key.put()) == ERROR_SUCCESS) {
        KeyFilterLists lists(key.get());
        if (NameStands(lists, name, deleting ? std::span<const FilterListSlot>(AllSlots)
                                             : std::span<const FilterListSlot>(ActiveSlots)) == Standing::Present)
            return {};
    }
    return alsoUsing(machine, deviceClass, name, deleting);
}

} // namespace

DriveFilterLists ReadDriveFilterLists(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    DriveFilterLists result;
    UniqueKey parking;
    DWORD keyError = OpenParkingKey(set, device, KEY_READ, false, &parking);
    DriveLists lists(set, device, parking.get());
    for (int level = 0; level < 2; ++level) {
        MultiSzList own;
        MultiSzList parked;
        for (auto [active, list] : {std::pair{true, &own}, std::pair{false, &parked}}) {
            DWORD status = lists.Read(level, active, list);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                result.known = false;
        }
        if (keyError != ERROR_SUCCESS)
            result.known = false;
        result.own[level] = std::move(own.entries);
        result.parked[level] = std::move(parked.entries);
        ReadResultingList(set, device, level, &result.resulting[level]);
    }
    return result;
}

DWORD ReadResultingList(HDEVINFO set, SP_DEVINFO_DATA* device, int level, std::vector<std::wstring>* names)
{
    return ReadStringListProperty(
        [&](DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required) {
            return deviceInstallerCalls.getDeviceProperty(set, device, ResultingKey[level], type, buffer, size,
                                                          required, 0);
        },
        names);
}

DWORD ReadClassResultingList(const GUID& classGuid, int level, std::vector<std::wstring>* names)
{
    names->clear();
    auto get = deviceInstallerCalls.getClassProperty;
    if (!get)
        return ERROR_NOT_FOUND;
    return ReadStringListProperty(
        [&](DEVPROPTYPE* type, BYTE* buffer, DWORD size, DWORD* required) {
            return get(&classGuid, ClassResultingKey[level], type, buffer, size, required, ClassPropertyOfInstaller);
        },
        names);
}

bool ReadDriveFilterListsOf(const DeviceClass& deviceClass, const wchar_t* instanceId, DriveFilterLists* lists)
{
    OpenedDrive drive;
    if (!OpenDrive(deviceClass, instanceId, &drive))
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

std::vector<GUID> ClassesOfDevicesWithOwnFilters()
{
    std::vector<GUID> classes;
    ForEachDevice(nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT, [&](HDEVINFO set, SP_DEVINFO_DATA* device) {
        for (int level = 0; level < 2; ++level) {
            MultiSzList own;
            if (ReadFilterProperty(set, device, FilterProperty[level], &own) == ERROR_SUCCESS && !own.entries.empty() &&
                std::none_of(classes.begin(), classes.end(),
                             [&](const GUID& known) { return IsEqualGUID(known, device->ClassGuid); })) {
                classes.push_back(device->ClassGuid);
                break;
            }
        }
        return true;
    });
    return classes;
}

bool ReadClassActiveFilters(const Machine& machine, const DeviceClass& deviceClass,
                            std::vector<std::wstring> (&active)[2])
{
    UniqueKey key;
    if (OpenFilterClassKey(machine, deviceClass, FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
        return false;
    bool known = true;
    for (int level = 0; level < 2; ++level) {
        MultiSzList list;
        LSTATUS status = ReadMultiSzValue(key.get(), FilterValueNames[level][1], list);
        known = known && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
        active[level] = std::move(list.entries);
    }
    return known;
}

bool DeactivateDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId,
                           const wchar_t* name, FilterGroupEdits* edits, std::vector<ServiceUser>* keptFor,
                           AlsoUsingCall alsoUsing)
{
    if (edits)
        *edits = FilterGroupEdits{};
    if (keptFor)
        keptFor->clear();
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(deviceClass, instanceId, true, &drive, &parking))
        return false;
    DriveLists lists(drive.set.get(), &drive.device, parking.get());
    std::vector<ServiceUser> users = AskBeforeEdit(alsoUsing, machine, deviceClass, name, false);
    bool ok = EditLevels(edits, [&](int level) { return MoveFilterName(lists, level, name, true); });
    DWORD result = GetLastError();
    if (NameStands(lists, name, ActiveSlots) == Standing::Absent)
        RetireFilterService(machine, deviceClass, name, false, users, keptFor);
    SetLastError(result);
    return ok;
}

bool ActivateDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId,
                         const wchar_t* name, FilterGroupEdits* edits)
{
    if (edits)
        *edits = FilterGroupEdits{};
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(deviceClass, instanceId, false, &drive, &parking))
        return false;
    DriveLists lists(drive.set.get(), &drive.device, parking.get());
    bool ok = EditLevels(edits, [&](int level) { return MoveFilterName(lists, level, name, false); });
    DWORD result = GetLastError();
    // A filter in force whose service is disabled leaves the device without it.
    if (NameStands(lists, name, ActiveSlots) == Standing::Present)
        EnableFilterService(machine, name);
    SetLastError(result);
    return ok;
}

bool DeleteDriveFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* instanceId, bool upper,
                       const wchar_t* name, std::vector<ServiceUser>* keptFor, AlsoUsingCall alsoUsing)
{
    if (keptFor)
        keptFor->clear();
    OpenedDrive drive;
    UniqueKey parking;
    if (!OpenForEdit(deviceClass, instanceId, false, &drive, &parking))
        return false;
    DriveLists lists(drive.set.get(), &drive.device, parking.get());
    std::vector<ServiceUser> users = AskBeforeEdit(alsoUsing, machine, deviceClass, name, true);
    DWORD result = DropFilterName(lists, upper ? 1 : 0, name);
    if (NameStands(lists, name, AllSlots) == Standing::Absent)
        RetireFilterService(machine, deviceClass, name, true, users, keptFor);
    SetLastError(result);
    return result == ERROR_SUCCESS;
}
