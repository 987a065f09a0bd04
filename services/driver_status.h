// The status-bar line telling whether the CD-ROM class driver runs.
#pragma once

#include <windows.h>

void UpdateDriverStatus(HWND statusBar);
