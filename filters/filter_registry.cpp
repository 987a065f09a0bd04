#include "filters/filter_registry.h"

#include "base/handles.h"
#include "filters/service_users.h"
#include "filters/store_calls.h"

#include <string>

FilterStoreCalls filterStoreCalls = {RegOpenKeyExW, RegSetValueExW, RegQueryValueExW};

LSTATUS OpenFilterClassKey(const Machine& machine, const DeviceClass& deviceClass, REGSAM access, HKEY* key)
{
    return filterStoreCalls.openKey(machine.root, ClassKeyPath(machine, deviceClass).c_str(), 0, access, key);
}

namespace {

// Whether `users` keep the service; they go to `keptFor` when they do.
bool KeptFor(const std::vector<ServiceUser>& users, std::vector<ServiceUser>* keptFor)
{
    if (users.empty())
        return false;
    if (keptFor)
        keptFor->insert(keptFor->end(), users.begin(), users.end());
    return true;
}

// Disables the service of `name`, or deletes it when `deleting`, unless something
// outside the class key uses it: then it is left alone and its users go to
// `keptFor`. A service that cannot be changed is not looked for, since nothing
// would be done to it.
void RetireUnlessUsed(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool deleting,
                      std::vector<ServiceUser>* keptFor)
{
    machine.services->retire(machine, name, deleting, [&](const std::vector<std::wstring>* dependents) {
        std::vector<ServiceUser> users;
        return FindServiceUsers(machine, deviceClass, name, deleting, dependents, &users) && KeptFor(users, keptFor);
    });
}

// The lists whose names need the service: the active ones, and the parking ones
// too when deleting, since a parked name needs the service to be restored.
std::span<const FilterListSlot> SlotsNeedingService(bool deleting)
{
    return deleting ? std::span<const FilterListSlot>(AllSlots) : std::span<const FilterListSlot>(ActiveSlots);
}

// The service step once no list of the class key that needs it names it, and
// neither `alsoUsing` nor anything FindServiceUsers finds uses it. Returns where
// the name stands in the key.
Standing ServiceStep(const Machine& machine, const DeviceClass& deviceClass, FilterLists& lists, const wchar_t* name,
                     bool deleting, const std::vector<ServiceUser>& alsoUsing, std::vector<ServiceUser>* keptFor)
{
    Standing standing = NameStands(lists, name, SlotsNeedingService(deleting));
    if (standing == Standing::Absent && !KeptFor(alsoUsing, keptFor))
        RetireUnlessUsed(machine, deviceClass, name, deleting, keptFor);
    return standing;
}

// The users `alsoUsing` gives, asked before the edit: the devices' users are judged
// against the class values as they stand then. Not asked when `untouched`, lists
// the edit leaves alone, still need the service, so that the step cannot be reached.
std::vector<ServiceUser> AskBeforeEdit(const Machine& machine, const DeviceClass& deviceClass, AlsoUsingCall alsoUsing,
                                       FilterLists& lists, const wchar_t* name, bool deleting,
                                       std::span<const FilterListSlot> untouched)
{
    if (!alsoUsing || NameStands(lists, name, untouched) != Standing::Absent)
        return {};
    return alsoUsing(machine, deviceClass, name, deleting);
}

// Keeps the first failure's code, so that later steps cannot hide it from the caller.
bool Edited(DWORD status, DWORD* error)
{
    if (status != ERROR_SUCCESS && *error == ERROR_SUCCESS)
        *error = status;
    return status == ERROR_SUCCESS;
}

// Moves `name` out of each level's active list (`activate` false) or parking list.
bool ChangeFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool activate,
                  FilterGroupEdits* edits, std::vector<ServiceUser>* keptFor, AlsoUsingCall alsoUsing)
{
    FilterGroupEdits done;
    if (edits)
        *edits = done;
    if (keptFor)
        keptFor->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(machine, deviceClass, FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    KeyFilterLists lists(key.get());
    // A park moves the name out of both active values.
    std::vector<ServiceUser> deviceUsers =
        activate ? std::vector<ServiceUser>() : AskBeforeEdit(machine, deviceClass, alsoUsing, lists, name, false, {});
    DWORD error = ERROR_SUCCESS;
    done.lower = Edited(MoveFilterName(lists, 0, name, !activate), &error);
    done.upper = Edited(MoveFilterName(lists, 1, name, !activate), &error);

    // An active name whose service is disabled leaves the devices without their
    // filter at the next start, so the service follows what the active values hold.
    if (!activate)
        ServiceStep(machine, deviceClass, lists, name, false, deviceUsers, keptFor);
    else if (NameStands(lists, name, ActiveSlots) == Standing::Present)
        EnableFilterService(machine, name);

    if (edits)
        *edits = done;
    SetLastError(error);
    return done.lower && done.upper;
}

} // namespace

bool DeactivateFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                      FilterGroupEdits* edits, std::vector<ServiceUser>* keptFor, AlsoUsingCall alsoUsing)
{
    return ChangeFilter(machine, deviceClass, name, false, edits, keptFor, alsoUsing);
}

bool ActivateFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                    FilterGroupEdits* edits)
{
    return ChangeFilter(machine, deviceClass, name, true, edits, nullptr, nullptr);
}

bool DeleteFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* valueName,
                  const wchar_t* name, std::vector<ServiceUser>* keptFor, AlsoUsingCall alsoUsing)
{
    if (keptFor)
        keptFor->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(machine, deviceClass, FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    KeyFilterLists lists(key.get());
    int level = CompareStringOrdinal(valueName, -1, LowerFiltersValue, -1, TRUE) == CSTR_EQUAL ? 0 : 1;
    // The other group's active and parking values.
    const FilterListSlot untouched[] = {{1 - level, true}, {1 - level, false}};
    std::vector<ServiceUser> deviceUsers = AskBeforeEdit(machine, deviceClass, alsoUsing, lists, name, true, untouched);
    DWORD error = DropFilterName(lists, level, name);

    // The same name in the other group, or a removal that failed, still needs it.
    ServiceStep(machine, deviceClass, lists, name, true, deviceUsers, keptFor);
    SetLastError(error);
    return error == ERROR_SUCCESS;
}

void RetireFilterService(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool deleting,
                         const std::vector<ServiceUser>& alsoUsing, std::vector<ServiceUser>* keptFor)
{
    UniqueKey key;
    if (OpenFilterClassKey(machine, deviceClass, FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
        return; // what it names is not known, so it may need the service
    KeyFilterLists lists(key.get());
    if (ServiceStep(machine, deviceClass, lists, name, deleting, alsoUsing, keptFor) == Standing::Present && keptFor)
        // Named as the user knows it even where the key carries no description.
        keptFor->push_back(ClassUser(key.get(), deviceClass.name.c_str()));
}

void EnableFilterService(const Machine& machine, const wchar_t* name)
{
    machine.services->setStartType(machine, name, SERVICE_BOOT_START);
}
