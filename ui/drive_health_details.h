// The detail behind the status bar's drive part: every drive and its state.
#pragma once

#include <windows.h>

// Reads the drives afresh and lists them in one message box owned by `owner`.
void ShowDriveHealthDetails(HWND owner);
