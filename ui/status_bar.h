// The main window's status bar: whether the CD-ROM class driver runs, and beside it
// whether each CD/DVD drive works.
#pragma once

#include "ui/drive_texts.h"

#include <windows.h>

#include <functional>
#include <string>

// Reads the driver and the drives afresh and shows them, splitting the bar into
// its two parts first.
void RefreshStatusBar(HWND bar);

// Lays the two parts out for the bar's current width and fits the last shown drive
// text to it again; for when the window is sized.
void LayOutStatusBar(HWND bar);

// The detail behind the drive part: every drive and its state, read afresh, in
// one message box owned by `owner`.
void ShowStatusBarDetails(HWND owner);

// `text` as it fits `width` pixels as `measure` sees it: the name cut at its end
// with "…" where needed, the rest whole.
std::wstring FitDriveHealthText(const DriveHealthText& text, int width,
                                const std::function<int(const std::wstring&)>& measure);
