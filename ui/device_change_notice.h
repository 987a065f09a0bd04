// What the user is told after a change of all CD-ROM devices that did not simply
// work: none of the drives took it, or Windows must be restarted to finish it.
#pragma once

#include "devices/cdrom_devices.h"

#include <windows.h>

// At most one message box, owned by `owner`; shown only once the progress window
// has closed. `afterParking`: the change was the restart that ends "Fix problems
// automatically", whose filters stay parked either way.
void TellDeviceChangeOutcome(HWND owner, const DeviceChangeOutcome& outcome, bool afterParking);
