// Enabling, disabling or re-configuring every CD-ROM device.
#pragma once

#include <windows.h>

// state: DICS_ENABLE (1), DICS_DISABLE (2) or DICS_PROPCHANGE (3). True when the
// last device handled took the change; false with no device or no device set.
bool ChangeCdromDeviceState(DWORD state);
