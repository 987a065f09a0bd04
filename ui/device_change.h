// A change of all CD-ROM devices as the user sees it: the progress window while it
// runs, then the status bar read afresh, then what the change came to.
#pragma once

#include <windows.h>

// `filtersWaiting`: filters were parked just before, and wait for the change.
void ChangeDevicesAndTell(HWND owner, HWND statusBar, DWORD state, bool filtersWaiting);
