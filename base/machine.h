// The Windows installation an operation works on: where its registry is, and how
// its services are asked and changed. The running system is one such machine.
#pragma once

#include "base/device_class.h"
#include "base/handles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// What a machine tells of one service.
struct ServiceFacts {
    bool known = false;     // the service could be asked; nothing below holds otherwise
    bool exists = false;
    DWORD currentState = 0; // the platform's 1 to 7; 0 where the machine keeps no states
    DWORD serviceType = 0;
    DWORD startType = 0;
    std::wstring imagePath; // as configured; empty for none
};

// Whether a driver file is where its service says.
enum class DriverFileState { Present, Absent, Unknown };

// What a series of service reads keeps open between them, so that asking about
// many services costs one connection.
struct ServiceConnection {
    UniqueServiceHandle manager;
    bool tried = false;
};

struct Machine;

struct MachineServices {
    ServiceFacts (*read)(const Machine& machine, ServiceConnection* connection, const wchar_t* name);
    // False, with the thread's last error set, when the change did not happen.
    bool (*setStartType)(const Machine& machine, const wchar_t* name, DWORD startType);
    // Disables service `name`, or deletes it when `deleting`, unless `keep` answers
    // true. `keep` is asked only once the service is there to be changed, with the
    // services that depend on it (null when they could not be listed). True when the
    // change happened.
    bool (*retire)(const Machine& machine, const wchar_t* name, bool deleting,
                   const std::function<bool(const std::vector<std::wstring>* dependents)>& keep);
    // The driver file of a kernel driver service with `facts`.
    DriverFileState (*driverFile)(const Machine& machine, const wchar_t* name, const ServiceFacts& facts);
};

struct Machine {
    HKEY root;              // the key its SYSTEM hive hangs under
    std::wstring controlSet; // the control set's path below `root`
    const MachineServices* services;
    // Another installation's registry, loaded from its files: it has no devices
    // present and no service running, so neither can be asked.
    bool offline = false;
    std::wstring windowsFolder; // an offline installation's Windows folder
};

// `below` (e.g. L"Enum") under the machine's control set, from its root.
std::wstring MachinePath(const Machine& machine, const std::wstring& below);

// The key of `deviceClass` under Control\Class, from the machine's root.
std::wstring ClassKeyPath(const Machine& machine, const DeviceClass& deviceClass);
