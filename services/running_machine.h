// The system this program runs on, as a machine: its registry under
// HKEY_LOCAL_MACHINE and its services through the service manager.
#pragma once

#include "base/machine.h"

#include <windows.h>

const Machine& RunningMachine();

// The service manager's list of a service's dependents; tests replace it, since
// Wine answers it with none.
struct ServiceUsersCalls {
    decltype(&EnumDependentServicesW) enumDependentServices;
};
extern ServiceUsersCalls serviceUsersCalls;
