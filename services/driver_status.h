// The status-bar line telling whether the CD-ROM class driver runs.
#pragma once

#include <windows.h>

void UpdateDriverStatus(HWND statusBar);

// The string the line shows for the cdrom service's state: running or not.
UINT DriverStatusTextId(DWORD state);
