// The window placement kept between runs in %APPDATA%\tolvern\settings.ini,
// section "quillmere". Nothing here reports a failure: a missing or damaged file
// just leaves the window where its template puts it.
#pragma once

#include <windows.h>

inline constexpr wchar_t SettingsFolder[] = L"tolvern";
inline constexpr wchar_t SettingsFileName[] = L"settings.ini";
inline constexpr wchar_t SettingsSection[] = L"quillmere";

void SaveWindowSettings(HWND window);
void RestoreWindowPlacement(HWND window);
void DeleteSettings();
