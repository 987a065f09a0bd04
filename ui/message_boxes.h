// The boxes that tell the user what an action came to, and the one that asks
// before a delete. Each shows the program's own text, in the owner window's
// title; where a reason is an error code, the system's text for it stands in.
#pragma once

#include "base/error_box.h"
#include "devices/cdrom_devices.h"
#include "filters/service_users.h"

#include <windows.h>

#include <string>
#include <vector>

// Names whose registry change did not take effect, told once per user action.
struct ChangeFailures {
    std::wstring names;
    DWORD error = ERROR_SUCCESS; // the first failure's

    void Add(const wchar_t* name, DWORD code);
};

// Services left alone because something else still uses them, each with its
// users, told once per user action.
struct KeptServices {
    std::wstring lines;

    void Add(const std::wstring& name, const std::vector<ServiceUser>& users);
};

// Each shows nothing when there is nothing to tell.
void ReportChangeFailures(HWND owner, const ChangeFailures& failures);
void ReportKeptServices(HWND owner, const KeptServices& kept);

// At most one box after a change of all CD-ROM devices: that none of the drives
// took it, or that Windows must be restarted to finish it. `filtersWaiting`: filters
// were parked before it, and now wait for a restart.
void TellDeviceChangeOutcome(HWND owner, const DeviceChangeOutcome& outcome, bool filtersWaiting);

// Asks whether the filter `name` is to be deleted; No is the default.
bool ConfirmFilterDelete(HWND owner, const wchar_t* name);
