// Editing of REG_MULTI_SZ filter lists: a run of NUL-terminated UTF-16 names
// closed by an empty entry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A list as it stands in a value. `entries` are the names before the first empty
// entry, which is what the system reads. The whole characters that follow that
// empty entry are kept in `tail`, so an edit never drops data it does not
// understand; a stray odd byte at the very end is not a character and goes.
struct MultiSzList {
    std::vector<std::wstring> entries;
    std::vector<BYTE> tail;
};

// Tolerant of malformed data: an odd last byte is ignored, and a last entry without
// its NUL (or a list without its closing empty entry) still counts as an entry.
MultiSzList ParseMultiSz(const BYTE* data, size_t size);

// Always well formed: every entry NUL-terminated, then the closing empty entry,
// then the preserved tail. An empty list is a single NUL (2 bytes).
std::vector<BYTE> SerializeMultiSz(const MultiSzList& list);

// Whole-name match, ignoring letter case as service names do. `entryLength` is
// the entry's length in characters when it is not NUL-terminated, else -1.
bool MultiSzNamesMatch(const wchar_t* entry, const wchar_t* name, int entryLength = -1);

// Whether any of `entries` matches `name`.
bool MultiSzListsName(const std::vector<std::wstring>& entries, const wchar_t* name);

// Removes every entry matching `name`; returns how many went.
size_t RemoveMatchingEntries(MultiSzList& list, const wchar_t* name);

// Reads a value whole, whatever its size or type (retried if the value grows in
// between). Returns the registry's status; ERROR_FILE_NOT_FOUND for a missing
// value.
LSTATUS ReadMultiSzValue(HKEY key, const wchar_t* valueName, MultiSzList& list);

LSTATUS WriteMultiSzValue(HKEY key, const wchar_t* valueName, const MultiSzList& list);
