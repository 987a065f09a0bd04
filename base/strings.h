// The program's own resources: the module they live in, and its texts from the
// string table in the user's language.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// The program's own module, where its resources are.
HINSTANCE ProgramModule();

// Empty when the string is missing.
std::wstring LoadProgramString(UINT id);

// Sets the text of `window`'s control `control` to string `id`; a missing string
// leaves the control as it is.
void SetTextFromString(HWND window, int control, UINT id);

// The string with its %1, %2, ... replaced by `inserts`, in order.
std::wstring FormatProgramString(UINT id, std::initializer_list<std::wstring> inserts);
