// Pixel sizes for the DPI a window is shown at. Windows 10 1607 and later give each
// window the DPI of its monitor; older systems have one DPI for the whole screen.
#pragma once

#include <windows.h>

inline constexpr UINT DefaultDpi = 96;

// The window's DPI: GetDpiForWindow where the system has it, else the screen's
// LOGPIXELSX. Never 0.
UINT WindowDpi(HWND window);

// A size designed at 96 DPI, at `dpi`.
inline int ScaleForDpi(int pixelsAt96, UINT dpi)
{
    return MulDiv(pixelsAt96, static_cast<int>(dpi), static_cast<int>(DefaultDpi));
}

// A size taken at `fromDpi`, at `toDpi`.
inline int RescaleForDpi(int pixels, UINT fromDpi, UINT toDpi)
{
    return fromDpi == 0 ? pixels : MulDiv(pixels, static_cast<int>(toDpi), static_cast<int>(fromDpi));
}

// GetSystemMetrics at `dpi`: GetSystemMetricsForDpi where it exists, else the
// system's value taken from the screen's DPI to `dpi`.
int SystemMetricForDpi(int index, UINT dpi);

// Icon `id` of `module` at `size` pixels square, scaled down from a larger picture
// of the icon where the system can (LoadIconWithScaleDown), rather than up from a
// smaller one. Null when it cannot be loaded; the caller destroys it.
HICON LoadIconAtSize(HINSTANCE module, UINT id, int size);

// Where the window's DPI comes from. A test replaces it: Wine shows every window
// at the one system DPI and never moves one to a monitor of another.
struct DpiCalls {
    UINT (*windowDpi)(HWND window);
};
extern DpiCalls dpiCalls;
