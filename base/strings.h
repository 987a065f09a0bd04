// The program's own texts from its string table, in the user's language.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// Empty when the string is missing.
std::wstring LoadProgramString(UINT id);

// The string with its %1, %2, ... replaced by `inserts`, in order.
std::wstring FormatProgramString(UINT id, std::initializer_list<std::wstring> inserts);
