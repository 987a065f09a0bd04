// The window placement kept between runs in %APPDATA%\tolvern\settings.ini,
// section "quillmere". Nothing here reports a failure: a missing or damaged file
// just leaves the window where its template puts it.
#pragma once

#include <windows.h>

inline constexpr wchar_t SettingsFolder[] = L"tolvern";
inline constexpr wchar_t SettingsFileName[] = L"settings.ini";
inline constexpr wchar_t SettingsSection[] = L"quillmere";

// Where a window's normal rectangle, saved at `savedDpi`, goes at `dpi` on a
// monitor whose work area is `workArea` (both in the same coordinates): its size
// taken to the new DPI, never larger than the work area, and moved as little as
// needed to lie wholly within it.
RECT PlaceOnScreen(const RECT& saved, UINT savedDpi, UINT dpi, const RECT& workArea);

// Beside the placement the file keeps the DPI it was taken at, so that it can be
// restored at another; a placement without it counts as taken at today's.
void SaveWindowSettings(HWND window);
void RestoreWindowPlacement(HWND window);
void DeleteSettings();
