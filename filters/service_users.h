// Who else uses a filter's service, outside the class key that names it: a service
// named there may also be a filter of another device class or of one device, a
// device's own driver, or a service another one depends on. Disabling or deleting
// it would leave that other stack without its driver.
#pragma once

#include "base/device_class.h"
#include "base/machine.h"

#include <windows.h>

#include <string>
#include <vector>

struct ServiceUser {
    enum Kind {
        Class,      // a device class's filter values; `name` is its description
        Device,     // a device's own filter values or its function driver; its friendly name or instance id
        Dependent,  // a service that depends on it; the service's name
        Unreadable, // a key that may name it but cannot be read; its path under the machine's key
        Loaded,     // it runs though no device of the class loads it; what the user is told of that
    };
    Kind kind;
    std::wstring name;
};

// Adds to `users` everything of `machine` outside the key of `deviceClass` that
// uses the service `name`: the filter values of every other class under
// Control\Class (and their parking values when `parkingCounts`), every device's own
// filter values and function driver under Enum (and the names parked from them when
// `parkingCounts`), and `dependents`, the services that depend on it (null when the
// machine could not list them). A key or list that cannot be read counts as a user.
// Returns whether any user was found.
bool FindServiceUsers(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool parkingCounts,
                      const std::vector<std::wstring>* dependents, std::vector<ServiceUser>* users);

// A device class's key as a user of a service: its description (the key's default
// value), else its short name (its Class value), else `fallback`.
ServiceUser ClassUser(HKEY classKey, const wchar_t* fallback);
