// The one way the program reports a platform error: the system's own text for the
// code, in an error box.
#pragma once

#include <windows.h>

#include <string>

// The system's message for `code` (trailing line breaks removed); empty when the
// system has none.
std::wstring SystemErrorText(DWORD code);

// The system's text for `code`, or "Error code 0x..." where it has none.
std::wstring ReasonText(DWORD code);

// Error box with the system's text, the platform's default caption, one OK button.
void ShowSystemErrorBox(HWND owner, DWORD code);

// Where that box goes. The console companion, which has no window and often runs
// where nobody could click a box away, puts its own report in its place; tests do
// the same.
struct ErrorBoxCalls {
    decltype(&MessageBoxW) messageBox;
};
extern ErrorBoxCalls errorBoxCalls;
