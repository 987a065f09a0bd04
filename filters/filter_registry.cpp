#include "filters/filter_registry.h"

#include "base/handles.h"
#include "filters/multi_sz.h"
#include "filters/service_users.h"
#include "filters/store_calls.h"

#include <span>
#include <string>

FilterStoreCalls filterStoreCalls = {RegOpenKeyExW, RegSetValueExW, RegQueryValueExW};

LSTATUS OpenFilterClassKey(REGSAM access, HKEY* key)
{
    return filterStoreCalls.openKey(HKEY_LOCAL_MACHINE, FilterClassKey, 0, access, key);
}

namespace {

// Opens the service for `access`, unless something outside the class key uses it:
// then it is left alone and its users go to `keptFor`. A service that cannot be
// opened is not looked for, since nothing would be done to it.
OpenedService OpenServiceNoOneElseUses(const wchar_t* name, DWORD access, bool parkingCounts,
                                       std::vector<ServiceUser>* keptFor)
{
    OpenedService opened = OpenServiceByName(name, access | SERVICE_ENUMERATE_DEPENDENTS);
    std::vector<ServiceUser> users;
    if (opened.service && FindServiceUsers(name, opened.service.get(), parkingCounts, &users)) {
        opened.service.reset();
        if (keptFor)
            keptFor->insert(keptFor->end(), users.begin(), users.end());
    }
    return opened;
}

void SetStartType(SC_HANDLE service, DWORD startType)
{
    ChangeServiceConfigW(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
}

// The active values first, then their parking values.
constexpr const wchar_t* AllFilterValues[] = {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue,
                                              UpperFiltersRemovedValue};

// The values whose names need the service: the active ones, and the parking ones
// too when deleting, since a parked name needs the service to be restored.
std::span<const wchar_t* const> ValuesNeedingService(bool deleting)
{
    return std::span<const wchar_t* const>(AllFilterValues).first(deleting ? 4 : 2);
}

enum class Standing { Absent, Present, Unknown };

// Whether `name` stands in any of `values` as the key holds them now. Absent only
// when every value could be read (a missing one holds nothing) and none lists it.
Standing NameStandsIn(HKEY key, const wchar_t* name, std::span<const wchar_t* const> values)
{
    bool unknown = false;
    for (const wchar_t* value : values) {
        MultiSzList list;
        LSTATUS status = ReadMultiSzValue(key, value, list);
        if (status == ERROR_FILE_NOT_FOUND)
            continue;
        if (status != ERROR_SUCCESS) {
            unknown = true;
            continue;
        }
        if (MultiSzListsName(list.entries, name))
            return Standing::Present;
    }
    return unknown ? Standing::Unknown : Standing::Absent;
}

// Whether `users` keep the service; they go to `keptFor` when they do.
bool KeptFor(const std::vector<ServiceUser>& users, std::vector<ServiceUser>* keptFor)
{
    if (users.empty())
        return false;
    if (keptFor)
        keptFor->insert(keptFor->end(), users.begin(), users.end());
    return true;
}

// Disables the service of `name`, or deletes it when `deleting`, once no value of
// the class key that needs it names it, and neither `alsoUsing` nor anything
// FindServiceUsers finds uses it. Returns where the name stands in the key.
Standing ServiceStep(HKEY key, const wchar_t* name, bool deleting, const std::vector<ServiceUser>& alsoUsing,
                     std::vector<ServiceUser>* keptFor)
{
    Standing standing = NameStandsIn(key, name, ValuesNeedingService(deleting));
    if (standing != Standing::Absent || KeptFor(alsoUsing, keptFor))
        return standing;
    OpenedService opened = OpenServiceNoOneElseUses(name, deleting ? DELETE : SERVICE_CHANGE_CONFIG, deleting, keptFor);
    if (!opened.service)
        return standing;
    if (deleting)
        DeleteService(opened.service.get());
    else
        SetStartType(opened.service.get(), SERVICE_DISABLED);
    return standing;
}

// The users `alsoUsing` gives, asked before the edit: the drives' users are judged
// against the class values as they stand then. Not asked when `untouched`, values
// the edit leaves alone, still need the service, so that the step cannot be reached.
std::vector<ServiceUser> AskBeforeEdit(AlsoUsingCall alsoUsing, HKEY key, const wchar_t* name, bool deleting,
                                       std::span<const wchar_t* const> untouched)
{
    if (!alsoUsing || NameStandsIn(key, name, untouched) != Standing::Absent)
        return {};
    return alsoUsing(name, deleting);
}

// Keeps the first failure's code, so that later steps cannot hide it from the caller.
bool Edited(bool ok, DWORD* error)
{
    if (!ok && *error == ERROR_SUCCESS)
        *error = GetLastError();
    return ok;
}

// Moves `name` from the `from` value to the `to` value of each group.
bool ChangeFilter(const wchar_t* name, const wchar_t* lowerFrom, const wchar_t* lowerTo, const wchar_t* upperFrom,
                  const wchar_t* upperTo, bool activate, FilterGroupEdits* edits, std::vector<ServiceUser>* keptFor,
                  AlsoUsingCall alsoUsing)
{
    FilterGroupEdits done;
    if (edits)
        *edits = done;
    if (keptFor)
        keptFor->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    // A park moves the name out of both active values.
    std::vector<ServiceUser> driveUsers = activate ? std::vector<ServiceUser>()
                                                   : AskBeforeEdit(alsoUsing, key.get(), name, false, {});
    DWORD error = ERROR_SUCCESS;
    done.lower = Edited(MoveMultiSzEntry(key.get(), name, lowerFrom, lowerTo), &error);
    done.upper = Edited(MoveMultiSzEntry(key.get(), name, upperFrom, upperTo), &error);

    // An active name whose service is disabled leaves the drive without its filter
    // at the next start, so the service follows what the active values now hold.
    if (!activate)
        ServiceStep(key.get(), name, false, driveUsers, keptFor);
    else if (NameStandsIn(key.get(), name, ValuesNeedingService(false)) == Standing::Present)
        EnableFilterService(name);

    if (edits)
        *edits = done;
    SetLastError(error);
    return done.lower && done.upper;
}

} // namespace

bool DeactivateFilter(const wchar_t* name, FilterGroupEdits* edits, std::vector<ServiceUser>* keptFor,
                      AlsoUsingCall alsoUsing)
{
    return ChangeFilter(name, LowerFiltersValue, LowerFiltersRemovedValue, UpperFiltersValue,
                        UpperFiltersRemovedValue, false, edits, keptFor, alsoUsing);
}

bool ActivateFilter(const wchar_t* name, FilterGroupEdits* edits)
{
    return ChangeFilter(name, LowerFiltersRemovedValue, LowerFiltersValue, UpperFiltersRemovedValue,
                        UpperFiltersValue, true, edits, nullptr, nullptr);
}

bool DeleteFilter(const wchar_t* valueName, const wchar_t* name, std::vector<ServiceUser>* keptFor,
                  AlsoUsingCall alsoUsing)
{
    if (keptFor)
        keptFor->clear();
    UniqueKey key;
    LSTATUS status = OpenFilterClassKey(FilterClassWriteAccess, key.put());
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    std::wstring parkingValue = std::wstring(valueName) + L"Removed";
    // The other group's active and parking values.
    size_t other = CompareStringOrdinal(valueName, -1, LowerFiltersValue, -1, TRUE) == CSTR_EQUAL ? 1 : 0;
    const wchar_t* untouched[] = {AllFilterValues[other], AllFilterValues[other + 2]};
    std::vector<ServiceUser> driveUsers = AskBeforeEdit(alsoUsing, key.get(), name, true, untouched);
    DWORD error = ERROR_SUCCESS;
    bool ok = Edited(RemoveMultiSzEntry(key.get(), name, valueName), &error);
    ok = Edited(RemoveMultiSzEntry(key.get(), name, parkingValue.c_str()), &error) && ok;

    // The same name in the other group, or a removal that failed, still needs it.
    ServiceStep(key.get(), name, true, driveUsers, keptFor);
    SetLastError(error);
    return ok;
}

void RetireFilterService(const wchar_t* name, bool deleting, const std::vector<ServiceUser>& alsoUsing,
                         std::vector<ServiceUser>* keptFor)
{
    UniqueKey key;
    if (OpenFilterClassKey(FilterClassReadAccess, key.put()) != ERROR_SUCCESS)
        return; // what it names is not known, so it may need the service
    if (ServiceStep(key.get(), name, deleting, alsoUsing, keptFor) == Standing::Present && keptFor)
        // Named as the user knows it even where the key carries no description.
        keptFor->push_back(ClassUser(key.get(), L"DVD/CD-ROM"));
}

void EnableFilterService(const wchar_t* name)
{
    OpenedService opened = OpenServiceByName(name, SERVICE_CHANGE_CONFIG);
    if (opened.service)
        SetStartType(opened.service.get(), SERVICE_BOOT_START);
}
