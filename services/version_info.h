// One named string of a file's version resource.
#pragma once

#include <windows.h>

// Reads `key` from the version resource of `path`, or of the program's own file
// when `path` is null. `out` holds DisplayTextLength characters. True when the
// string exists (also when empty); a file without version resource leaves `out`
// untouched, and so does a system without the version library.
bool ReadVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out);

// The same for a driver file: a 32-bit build on a 64-bit system reads the file
// the system loads, from the native system folder, not its 32-bit stand-in.
bool ReadDriverVersionString(const wchar_t* path, const wchar_t* key, wchar_t* out);

// Whether a driver file lies at `path`, looked for where the system loads it from
// (past the 32-bit build's redirection). False only when the system says it is not
// there; any other failure to look counts as present.
bool DriverFilePresent(const wchar_t* path);
