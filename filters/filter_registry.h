// The DVD/CD-ROM class key and the edits that park, restore and delete a filter.
#pragma once

#include <windows.h>

// Under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t FilterClassKey[] =
    L"system\\CurrentControlSet\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}";
inline constexpr wchar_t LowerFiltersValue[] = L"LowerFilters";
inline constexpr wchar_t UpperFiltersValue[] = L"UpperFilters";
inline constexpr wchar_t LowerFiltersRemovedValue[] = L"LowerFiltersRemoved";
inline constexpr wchar_t UpperFiltersRemovedValue[] = L"UpperFiltersRemoved";

inline constexpr REGSAM FilterClassReadAccess = KEY_READ;              // 0x20019
inline constexpr REGSAM FilterClassWriteAccess = KEY_READ | KEY_WRITE; // 0x2001F

LSTATUS OpenFilterClassKey(REGSAM access, HKEY* key);

// Each returns whether the list edit took effect: the key could be opened for
// writing and every needed write succeeded (or there was nothing to change). The
// service step that follows is best effort and does not affect the result. On
// failure the thread's last error holds the registry's code.

// Parks `name`: moves it from both active values to their parking values and
// disables its service.
bool DeactivateFilter(const wchar_t* name);

// Restores `name` from both parking values and sets its service to boot start.
bool ActivateFilter(const wchar_t* name);

// Drops `name` from `valueName` ("LowerFilters" or "UpperFilters") and its parking
// value, then deletes the service. The other group's values are left alone.
bool DeleteFilter(const wchar_t* valueName, const wchar_t* name);
