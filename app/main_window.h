// The main window: dialog 120 with the filter list and the status bar. Every
// message of the window arrives in MainDialogProc, which hands it on.
#pragma once

#include <windows.h>

// The dialog's result after every normal close; it becomes the exit code.
inline constexpr INT_PTR MainWindowClosed = 2;

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One command of the main menu; ids 40028 to 40051 only.
void DispatchMenuCommand(HWND window, UINT commandId);
