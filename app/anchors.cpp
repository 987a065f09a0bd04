#include "app/anchors.h"

#include "base/dpi.h"
#include "res/resource.h"

AnchorEntry AnchorTable[] = {
    {{0, 0, 0, 0}, 0, 0, IDC_FILTER_LIST, AnchorKeepTop | AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight},
    {{0, 0, 0, 0}, 0, 0, IDC_STATUS_BAR, AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight},
    {{0, 0, 0, 0}, 0, 0, 0, 0},
};

namespace {

// The DPI the table was captured at.
UINT anchorDpi = DefaultDpi;

// One axis: `start`/`end` are the captured edges, `delta` how much the client
// area has grown since the capture.
void PlaceAxis(LONG start, LONG end, LONG delta, bool keepStart, bool followEnd, int& position, int& extent)
{
    if (keepStart && followEnd) {
        position = start;
        extent = end + delta - start;
    } else if (followEnd) {
        position = start + delta;
        extent = end - start;
    } else if (keepStart) {
        position = start;
        extent = end - start;
    } else {
        position = 0;
        extent = end - start;
    }
    if (extent < 0)
        extent = 0;
}

RECT ChildRectInClient(HWND window, HWND child)
{
    RECT rect{};
    if (!GetWindowRect(child, &rect))
        return RECT{};
    POINT topLeft{rect.left, rect.top};
    POINT bottomRight{rect.right, rect.bottom};
    ScreenToClient(window, &topLeft);
    ScreenToClient(window, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

} // namespace

AnchorPlacement ComputeAnchorPlacement(const AnchorEntry& entry, LONG clientWidth, LONG clientHeight)
{
    const RECT& r = entry.controlRect;
    AnchorPlacement placement{};
    PlaceAxis(r.left, r.right, clientWidth - entry.initialClientWidth, (entry.flags & AnchorKeepLeft) != 0,
              (entry.flags & AnchorFollowRight) != 0, placement.x, placement.cx);
    PlaceAxis(r.top, r.bottom, clientHeight - entry.initialClientHeight, (entry.flags & AnchorKeepTop) != 0,
              (entry.flags & AnchorFollowBottom) != 0, placement.y, placement.cy);
    return placement;
}

AnchorEntry ScaleAnchorEntry(const AnchorEntry& entry, UINT fromDpi, UINT toDpi)
{
    auto scale = [&](LONG value) { return static_cast<LONG>(RescaleForDpi(value, fromDpi, toDpi)); };
    AnchorEntry scaled = entry;
    const RECT& r = entry.controlRect;
    scaled.controlRect = RECT{scale(r.left), scale(r.top), scale(r.right), scale(r.bottom)};
    scaled.initialClientWidth = scale(entry.initialClientWidth);
    scaled.initialClientHeight = scale(entry.initialClientHeight);
    return scaled;
}

void CaptureAnchors(HWND window)
{
    anchorDpi = WindowDpi(window);
    RECT client{};
    GetClientRect(window, &client);
    for (AnchorEntry* entry = AnchorTable; entry->controlId != 0; ++entry) {
        entry->initialClientWidth = client.right;
        entry->initialClientHeight = client.bottom;
        entry->controlRect = ChildRectInClient(window, GetDlgItem(window, entry->controlId));
    }
}

void ApplyAnchors(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    UINT dpi = WindowDpi(window);
    int count = 0;
    for (const AnchorEntry* entry = AnchorTable; entry->controlId != 0; ++entry)
        ++count;
    HDWP positions = BeginDeferWindowPos(count);
    for (const AnchorEntry* entry = AnchorTable; entry->controlId != 0 && positions; ++entry) {
        HWND control = GetDlgItem(window, entry->controlId);
        if (!control)
            continue; // a missing control would make the whole batch fail
        AnchorPlacement p = ComputeAnchorPlacement(ScaleAnchorEntry(*entry, anchorDpi, dpi), client.right, client.bottom);
        // A failed DeferWindowPos has already released the whole batch.
        positions = DeferWindowPos(positions, control, nullptr, p.x, p.y, p.cx, p.cy,
                                   SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    if (positions)
        EndDeferWindowPos(positions);
}

void EraseMainBackground(HDC dc)
{
    HWND window = WindowFromDC(dc);
    if (!window)
        return;
    for (const AnchorEntry* entry = AnchorTable; entry->controlId != 0; ++entry) {
        RECT rect = ChildRectInClient(window, GetDlgItem(window, entry->controlId));
        ExcludeClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    }
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}
