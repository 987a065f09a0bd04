// Table-driven layout of the main window: the controls keep their distances to
// the edges they are anchored to, measured once at the dialog template's size.
#pragma once

#include <windows.h>

enum AnchorFlags : LONG {
    AnchorKeepTop = 1,
    AnchorKeepLeft = 2,
    AnchorFollowBottom = 4,
    AnchorFollowRight = 8,
};

struct AnchorEntry {
    RECT controlRect;          // client coordinates at capture time; 0 until captured
    LONG initialClientWidth;   // client right edge at capture time
    LONG initialClientHeight;  // client bottom edge at capture time
    LONG controlId;            // 0 ends the table
    LONG flags;                // AnchorFlags
};

// The main window's rows, ended by a row with controlId 0.
extern AnchorEntry AnchorTable[];

// Where one control goes for a client area of the given size. Extents that would
// be negative (a client area smaller than the control's margins, or the empty
// client area of a minimised window) are clamped to zero.
struct AnchorPlacement {
    int x;
    int y;
    int cx;
    int cy;
};
AnchorPlacement ComputeAnchorPlacement(const AnchorEntry& entry, LONG clientWidth, LONG clientHeight);

// The row as it would have been captured at `toDpi`: its rectangle and the client
// size it was measured in, taken from `fromDpi`.
AnchorEntry ScaleAnchorEntry(const AnchorEntry& entry, UINT fromDpi, UINT toDpi);

// Also notes the window's DPI: ApplyAnchors lays out at the DPI the window has
// then, so the template's geometry stays the reference on any monitor.
void CaptureAnchors(HWND window);
void ApplyAnchors(HWND window);
void EraseMainBackground(HDC dc);
