// A CD-ROM device state change run on the calling thread while an animated
// "Working..." window runs on a thread of its own.
#pragma once

#include "devices/cdrom_devices.h"

#include <windows.h>

// Shared by the caller and the progress thread for one run.
struct ProgressJob {
    HWND owner;
    HWND window;
    HANDLE thread;
};

// Returns what the change came to; the progress window is gone by then.
DeviceChangeOutcome RunWithProgress(DWORD state);
DWORD WINAPI ProgressThreadMain(void* job);
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
