// Whether the CD-ROM class driver runs, as the status bar's first part tells it.
#pragma once

#include <windows.h>

// The string the line shows for the cdrom service's state: running or not.
UINT DriverStatusTextId(DWORD state);

// The same for the cdrom service as it is now.
UINT ReadDriverStatusTextId();
