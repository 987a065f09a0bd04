#include "ui/status_bar.h"

#include "base/dpi.h"
#include "base/handles.h"
#include "base/strings.h"
#include "base/text_sizes.h"
#include "res/resource.h"
#include "services/driver_status.h"
#include "services/running_machine.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

constexpr wchar_t Ellipsis[] = L"\u2026";

// What the drive part shows now, kept so that a resize can fit it again without
// reading the drives anew. There is one status bar.
DriveHealthText shownDriveText;

// Widths of texts in the bar's font. One device context for a whole layout: a
// long name is measured once for every character it may lose.
class BarTextWidths {
public:
    explicit BarTextWidths(HWND bar)
        : dc_(bar), font_(dc_.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(bar, WM_GETFONT, 0, 0)))
    {
    }
    BarTextWidths(const BarTextWidths&) = delete;
    BarTextWidths& operator=(const BarTextWidths&) = delete;

    int operator()(const std::wstring& text) const
    {
        SIZE extent{};
        if (dc_)
            GetTextExtentPoint32W(dc_.get(), text.c_str(), static_cast<int>(text.size()), &extent);
        return extent.cx;
    }

private:
    UniqueWindowDC dc_;
    UniqueSelectObject font_;
};

} // namespace

void RefreshStatusBar(HWND bar)
{
    std::wstring driverLine = LoadProgramString(ReadDriverStatusTextId());
    SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(driverLine.c_str()));

    std::vector<DriveHealth> drives;
    bool known = ReadDriveHealth(RunningMachine(), CdromClass(), &drives);
    shownDriveText = ComposeDriveHealthText(known, drives);
    LayOutStatusBar(bar);
}

void LayOutStatusBar(HWND bar)
{
    RECT client{};
    GetClientRect(bar, &client);
    BarTextWidths widths(bar);
    UINT dpi = WindowDpi(bar);
    int edge = SystemMetricForDpi(SM_CXEDGE, dpi);
    // The driver line's part is as wide as the line it shows, but never more than
    // half: whatever it does not need goes to the drive's name.
    wchar_t driverLine[DisplayTextLength] = L"";
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(driverLine));
    int driverPart = widths(driverLine) + 4 * edge + ScaleForDpi(8, dpi);
    int edges[2] = {std::min(driverPart, static_cast<int>(client.right / 2)), -1};
    SendMessageW(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));

    RECT part{};
    SendMessageW(bar, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    int width = part.right - part.left - 4 * edge;
    if (GetWindowLongPtrW(bar, GWL_STYLE) & SBARS_SIZEGRIP)
        width -= SystemMetricForDpi(SM_CXVSCROLL, dpi);
    std::wstring text = FitDriveHealthText(shownDriveText, width, std::cref(widths));
    SendMessageW(bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

void ShowStatusBarDetails(HWND owner)
{
    std::vector<DriveHealth> drives;
    bool known = ReadDriveHealth(RunningMachine(), CdromClass(), &drives);
    std::wstring text = DescribeDrives(known, drives);
    std::wstring caption = LoadProgramString(IDS_APP_TITLE);
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

std::wstring FitDriveHealthText(const DriveHealthText& text, int width,
                                const std::function<int(const std::wstring&)>& measure)
{
    std::wstring whole = text.name + text.rest;
    if (text.name.empty() || measure(whole) <= width)
        return whole;
    for (size_t keep = text.name.size(); keep-- > 0;) {
        // Never between the two halves of a character outside the basic plane.
        if (keep > 0 && IS_HIGH_SURROGATE(text.name[keep - 1]))
            continue;
        std::wstring shortened = text.name.substr(0, keep) + Ellipsis + text.rest;
        if (measure(shortened) <= width)
            return shortened;
    }
    return Ellipsis + text.rest;
}
