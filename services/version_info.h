// One named string of a file's version resource.
#pragma once

#include <windows.h>

// Reads `key` from the version resource of `path`, or of the program's own file
// when `path` is null. `out` holds DisplayTextLength characters. True when the
// string exists (also when empty); a file without version resource leaves `out`
// untouched.
bool ReadVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out);
