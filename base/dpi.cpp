#include "base/dpi.h"

#include "base/handles.h"
#include "base/system_library.h"

#include <commctrl.h>

namespace {

UINT ScreenDpi()
{
    UniqueWindowDC screen(nullptr);
    int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : DefaultDpi;
}

// user32 and comctl32 are in the process before any window exists; a function the
// system lacks is looked up once and found missing once.
UINT AskWindowDpi(HWND window)
{
    static const auto getDpiForWindow =
        LookUpProcedure<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi != 0 ? dpi : ScreenDpi();
}

} // namespace

DpiCalls dpiCalls = {AskWindowDpi};

UINT WindowDpi(HWND window)
{
    return dpiCalls.windowDpi(window);
}

int SystemMetricForDpi(int index, UINT dpi)
{
    static const auto getMetricForDpi =
        LookUpProcedure<int(WINAPI*)(int, UINT)>(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    if (getMetricForDpi)
        return getMetricForDpi(index, dpi);
    return RescaleForDpi(GetSystemMetrics(index), ScreenDpi(), dpi);
}

HICON LoadIconAtSize(HINSTANCE module, UINT id, int size)
{
    // Only version 6 of the common controls has it, and which version is loaded
    // depends on the manifest.
    using LoadScaledDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto loadScaledDown =
        LookUpProcedure<LoadScaledDown>(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (loadScaledDown && SUCCEEDED(loadScaledDown(module, MAKEINTRESOURCEW(id), size, size, &icon)) && icon)
        return icon;
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}
