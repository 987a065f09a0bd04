// What the service manager, the descriptions file and the driver file tell about
// one filter's service.
#pragma once

#include "base/machine.h"
#include "base/text_sizes.h"

#include <windows.h>

// currentState of a service that does not exist (its text is string 105 + 8).
inline constexpr DWORD ServiceStateNotFound = 8;

inline constexpr wchar_t DescriptionsFile[] = L"descriptions.ini";

struct ServiceInfo {
    wchar_t displayName[DisplayTextLength];
    wchar_t description[DisplayTextLength];
    wchar_t imagePath[PathLength];
    DWORD currentState;
    DWORD serviceType;
    DWORD errorControl;
    DWORD startType;
    DWORD controlsAccepted;
};

// Fills `info` for the service `name`, writing only the fields that the case it
// meets provides. True only when the service's configuration was read. A service
// that cannot be opened for any reason but its absence (access refused, say)
// leaves currentState as the caller set it, 0 for unknown.
bool QueryServiceInfo(const wchar_t* name, ServiceInfo* info);

// Only the state of service `name`, as QueryServiceInfo leaves currentState set
// from 0: ServiceStateNotFound for a missing service, 0 when it could not be
// learnt. Shows the same error box when the service manager cannot be reached.
DWORD QueryServiceState(const wchar_t* name);

// The service open of the query; tests replace it, because Wine cannot be made to
// refuse an administrator a service.
struct ServiceInfoCalls {
    decltype(&OpenServiceW) openService;
};
extern ServiceInfoCalls serviceInfoCalls;

// The text shown for a service state: "Stopped" to "Paused" for the platform's
// states 1 to 7, "Not found" for a missing service, and "Unknown" when the state
// could not be learnt (0) or is none the platform defines. `out` holds
// DisplayTextLength characters.
void LoadServiceStateText(DWORD state, wchar_t* out);

// What can keep a driver from loading, as far as its service tells.
enum class DriverTrouble {
    None,
    Missing,  // no such service
    Disabled, // its start type is disabled (problem code 32)
    NoFile,   // its driver file is not there
    Unknown,  // the service could not be asked
};

struct DriverCondition {
    DWORD currentState = 0; // as in ServiceInfo
    DriverTrouble trouble = DriverTrouble::Unknown;
};

// Reads only what says whether the driver of service `name` can load on `machine`:
// whether it exists, its start type, its state, and for a kernel driver whether its
// file is there. `connection` is kept between the reads of one caller.
DriverCondition ReadDriverCondition(const Machine& machine, ServiceConnection* connection, const wchar_t* name);

// The same for one service.
DriverCondition ReadDriverCondition(const Machine& machine, const wchar_t* name);

// Looks `name` up in descriptions.ini of the current directory, in the thread's
// language section and then in "en". `out` holds DisplayTextLength characters.
bool LookupDescription(const wchar_t* name, wchar_t* out);

// Expands environment references and a leading \SystemRoot of a configured image
// path. `out` holds PathLength characters.
void ExpandSystemRootPath(const wchar_t* imagePath, wchar_t* out);

// The file a driver service's configured image path names, as the kernel reads it:
// expanded as above, \??\C:\... taken as C:\..., and a relative path joined to
// the Windows folder. False, with `out` empty, when no path of PathLength fits and
// for any path that names no file of this machine's drives: network paths, other
// \??\ forms, and paths that would be read from the current drive or folder.
bool ResolveDriverFilePath(const wchar_t* imagePath, wchar_t* out);
