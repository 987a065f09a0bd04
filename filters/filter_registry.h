// A device class's key and the edits that park, restore and delete its filters.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"
#include "filters/filter_lists.h"
#include "filters/service_users.h"

#include <windows.h>

#include <vector>

inline constexpr REGSAM FilterClassReadAccess = KEY_READ;              // 0x20019
inline constexpr REGSAM FilterClassWriteAccess = KEY_READ | KEY_WRITE; // 0x2001F

LSTATUS OpenFilterClassKey(const Machine& machine, const DeviceClass& deviceClass, REGSAM access, HKEY* key);

// Which group's edit took effect: the name left (or never stood in) the source
// value of that group and, if it left, stands in the target.
struct FilterGroupEdits {
    bool lower = false;
    bool upper = false;
};

// Each returns whether the list edit took effect: the key could be opened for
// writing and every needed write succeeded (or there was nothing to change). On
// failure the thread's last error holds the registry's code. The service step
// that follows is best effort, does not affect the result, and runs only when the
// class key, read back afterwards, shows the state that calls for it; a value that
// cannot be read leaves the service alone. A service that something outside the
// class key uses (see FindServiceUsers) is neither disabled nor deleted; those
// users go to `keptFor`, which is empty when the service step went its way.

// Users of the service of `name` that the caller knows of and the store cannot see
// (the devices' declarative filters and parked names); with any, the service is
// kept for them. `deleting` tells that the service would be deleted rather than
// disabled. Called before the edit, and not at all when values the edit leaves
// alone keep the service needed anyway, since finding them may be costly.
using AlsoUsingCall = std::vector<ServiceUser> (*)(const Machine& machine, const DeviceClass& deviceClass,
                                                   const wchar_t* name, bool deleting);

// Parks `name`: moves it from both active values to their parking values, then
// disables its service once the name stands in neither active value.
bool DeactivateFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                      FilterGroupEdits* edits = nullptr, std::vector<ServiceUser>* keptFor = nullptr,
                      AlsoUsingCall alsoUsing = nullptr);

// Restores `name` from both parking values, then sets its service to boot start
// when the name stands in an active value.
bool ActivateFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name,
                    FilterGroupEdits* edits = nullptr);

// Drops `name` from `valueName` ("LowerFilters" or "UpperFilters") and its parking
// value; the other group's values are left alone. The service is deleted only when
// none of the four values names it any more.
bool DeleteFilter(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* valueName,
                  const wchar_t* name, std::vector<ServiceUser>* keptFor = nullptr, AlsoUsingCall alsoUsing = nullptr);

// The service step after an edit of filter lists outside the class key (a device's
// own): the service of `name` is disabled, or deleted when `deleting`, only when no
// active value of the class key names it (nor a parking value, when deleting), none
// of `alsoUsing` uses it, and FindServiceUsers finds no user; else it is left alone
// and its users go to `keptFor`.
void RetireFilterService(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool deleting,
                         const std::vector<ServiceUser>& alsoUsing, std::vector<ServiceUser>* keptFor);

// Sets the service of `name` to boot start, for a name that is active again.
void EnableFilterService(const Machine& machine, const wchar_t* name);
