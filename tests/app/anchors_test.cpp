// The anchored layout: worked out from the captured geometry alone, checked on the
// real main dialog as it is sized, minimised, restored and repainted.
#include "main_dialog_runner.h"

#include "app/anchors.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

AnchorEntry Entry(RECT rect, LONG width, LONG height, LONG flags)
{
    return AnchorEntry{rect, width, height, 1, flags};
}

std::string Describe(const AnchorPlacement& p)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%d,%d %dx%d", p.x, p.y, p.cx, p.cy);
    return text;
}

TEST(AnchorPlacement, EachFlagCombinationOfAnAxis)
{
    const RECT rect{10, 20, 110, 70}; // 100 x 50 in a 200 x 100 client area
    const LONG all = AnchorKeepTop | AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight;
    // Grown by 30 x 15.
    EXPECT_EQ(Describe(ComputeAnchorPlacement(Entry(rect, 200, 100, all), 230, 115)), "10,20 130x65");
    EXPECT_EQ(Describe(ComputeAnchorPlacement(Entry(rect, 200, 100, AnchorFollowRight | AnchorFollowBottom), 230, 115)),
              "40,35 100x50");
    EXPECT_EQ(Describe(ComputeAnchorPlacement(Entry(rect, 200, 100, AnchorKeepLeft | AnchorKeepTop), 230, 115)),
              "10,20 100x50");
    // Neither flag of an axis: placed at 0, captured extent kept.
    EXPECT_EQ(Describe(ComputeAnchorPlacement(Entry(rect, 200, 100, 0), 230, 115)), "0,0 100x50");
}

TEST(AnchorPlacement, TooSmallClientAreaGivesZeroExtentAndRecovers)
{
    const LONG all = AnchorKeepTop | AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight;
    AnchorEntry entry = Entry(RECT{6, 6, 474, 280}, 480, 300, all);
    // The empty client area of a minimised window.
    EXPECT_EQ(Describe(ComputeAnchorPlacement(entry, 0, 0)), "6,6 0x0");
    // Only as much smaller as the margins: exactly zero, not negative.
    EXPECT_EQ(Describe(ComputeAnchorPlacement(entry, 480 - 468, 300 - 274)), "6,6 0x0");
    // Nothing accumulates: the next size is worked out from the capture again.
    EXPECT_EQ(Describe(ComputeAnchorPlacement(entry, 580, 350)), "6,6 568x324");
    EXPECT_EQ(Describe(ComputeAnchorPlacement(entry, 480, 300)), "6,6 468x274");
}

// Captured at one DPI, laid out at another: the margins are those of the template
// at the new DPI, and the control still follows the edges it is anchored to.
TEST(AnchorPlacement, AtAnotherDpiTheCapturedMarginsScaleFirst)
{
    const LONG all = AnchorKeepTop | AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight;
    const LONG bottomRow = AnchorKeepLeft | AnchorFollowBottom | AnchorFollowRight;
    // 6 pixels from every edge of a 480 x 300 client area at 96 DPI, or a 20 pixel
    // high row along its bottom; 9 and 30 on a 720 x 450 one at 144.
    const AnchorEntry list96 = Entry(RECT{6, 6, 474, 294}, 480, 300, all);
    const AnchorEntry row96 = Entry(RECT{6, 274, 474, 294}, 480, 300, bottomRow);
    const AnchorEntry list144 = Entry(RECT{9, 9, 711, 441}, 720, 450, all);
    struct Case {
        const AnchorEntry& captured;
        UINT fromDpi, toDpi;
        LONG clientWidth, clientHeight;
        const char* expected;
    };
    const Case cases[] = {
        {list96, 96, 96, 480, 300, "6,6 468x288"},
        {list96, 96, 144, 720, 450, "9,9 702x432"}, // the window took the suggested size
        {list96, 96, 144, 800, 500, "9,9 782x482"}, // and was made larger after
        {list96, 96, 192, 960, 600, "12,12 936x576"},
        {row96, 96, 144, 720, 450, "9,411 702x30"},
        {list144, 144, 96, 480, 300, "6,6 468x288"}, // captured on a 150 % monitor
        {list144, 144, 96, 320, 200, "6,6 308x188"},
    };
    for (const Case& c : cases) {
        AnchorPlacement p = ComputeAnchorPlacement(ScaleAnchorEntry(c.captured, c.fromDpi, c.toDpi), c.clientWidth,
                                                   c.clientHeight);
        EXPECT_EQ(Describe(p), c.expected) << c.fromDpi << " to " << c.toDpi << " DPI, " << c.clientWidth << " x "
                                           << c.clientHeight;
    }
}

TEST(AnchorTable, ListFollowsAllEdgesStatusBarAllButTheTop)
{
    EXPECT_EQ(AnchorTable[0].controlId, IDC_FILTER_LIST);
    EXPECT_EQ(AnchorTable[0].flags, 15);
    EXPECT_EQ(AnchorTable[1].controlId, IDC_STATUS_BAR);
    EXPECT_EQ(AnchorTable[1].flags, 14);
    EXPECT_EQ(AnchorTable[2].controlId, 0);
}

void Resize(HWND dialog, int dx, int dy)
{
    RECT window{};
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + dx, window.bottom - window.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT Offset(RECT rect, int left, int top, int right, int bottom)
{
    return RECT{rect.left + left, rect.top + top, rect.right + right, rect.bottom + bottom};
}

TEST(MainWindowLayout, ControlsFollowTheWindowAndComeBackExactly)
{
    ScratchAppData appData;
    // x, y, cx, cy in dialog units, mapped the way the dialog manager maps them.
    RECT templateList{4, 4, 412, 164};
    RECT list0{}, status0{}, client0{}, list1{}, status1{}, client1{}, list2{}, status2{}, list3{}, status3{};
    RunMainDialog({[&](HWND dialog) {
        MapDialogRect(dialog, &templateList);
        templateList.right += templateList.left;
        templateList.bottom += templateList.top;
        RECT window0{};
        GetWindowRect(dialog, &window0);
        list0 = ControlRect(dialog, IDC_FILTER_LIST);
        status0 = ControlRect(dialog, IDC_STATUS_BAR);
        client0 = ClientRect(dialog);

        Resize(dialog, 100, 50);
        client1 = ClientRect(dialog);
        list1 = ControlRect(dialog, IDC_FILTER_LIST);
        status1 = ControlRect(dialog, IDC_STATUS_BAR);

        Resize(dialog, -100, -50);
        list2 = ControlRect(dialog, IDC_FILTER_LIST);
        status2 = ControlRect(dialog, IDC_STATUS_BAR);

        // A detour through a tiny and a huge size ends where a direct sizing would.
        Resize(dialog, -400, -300);
        Resize(dialog, 300, 200);
        SetWindowPos(dialog, nullptr, 0, 0, window0.right - window0.left, window0.bottom - window0.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        list3 = ControlRect(dialog, IDC_FILTER_LIST);
        status3 = ControlRect(dialog, IDC_STATUS_BAR);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    // Captured as the template made it.
    EXPECT_EQ(Describe(list0), Describe(templateList));
    ASSERT_EQ(client1.right - client0.right, 100);
    ASSERT_EQ(client1.bottom - client0.bottom, 50);

    EXPECT_EQ(Describe(list1), Describe(Offset(list0, 0, 0, 100, 50)));
    EXPECT_EQ(Describe(status1), Describe(Offset(status0, 0, 50, 100, 50))); // same height

    EXPECT_EQ(Describe(list2), Describe(list0));
    EXPECT_EQ(Describe(status2), Describe(status0));
    EXPECT_EQ(Describe(list3), Describe(list0));
    EXPECT_EQ(Describe(status3), Describe(status0));
}

TEST(MainWindowLayout, MinimiseAndRestore)
{
    ScratchAppData appData;
    RECT list0{}, status0{}, minimisedList{}, list1{}, status1{};
    bool iconic = false;
    RunMainDialog({[&](HWND dialog) {
        list0 = ControlRect(dialog, IDC_FILTER_LIST);
        status0 = ControlRect(dialog, IDC_STATUS_BAR);
        ShowWindow(dialog, SW_MINIMIZE);
        iconic = IsIconic(dialog);
        RECT rect{};
        GetWindowRect(GetDlgItem(dialog, IDC_FILTER_LIST), &rect);
        minimisedList = rect;
        ShowWindow(dialog, SW_RESTORE);
        list1 = ControlRect(dialog, IDC_FILTER_LIST);
        status1 = ControlRect(dialog, IDC_STATUS_BAR);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    ASSERT_TRUE(iconic);
    // Laid out for the empty client area: no negative extent.
    EXPECT_GE(minimisedList.right - minimisedList.left, 0);
    EXPECT_GE(minimisedList.bottom - minimisedList.top, 0);
    EXPECT_LT(minimisedList.right - minimisedList.left, list0.right - list0.left);
    EXPECT_EQ(Describe(list1), Describe(list0));
    EXPECT_EQ(Describe(status1), Describe(status0));
}

TEST(MainWindowLayout, BackgroundFillSparesTheControlsWhereverTheyAre)
{
    ScratchAppData appData;
    bool listSpared = true, statusSpared = true, gapFilled = false, clipChecked = false;
    RunMainDialog({[&](HWND dialog) {
        Resize(dialog, 60, 40); // the controls are no longer where they were captured
        RECT list = ControlRect(dialog, IDC_FILTER_LIST);
        RECT status = ControlRect(dialog, IDC_STATUS_BAR);
        POINT inList{(list.left + list.right) / 2, (list.top + list.bottom) / 2};
        POINT inStatus{(status.left + status.right) / 2, (status.top + status.bottom) / 2};
        POINT inGap{1, 1}; // left of and above the list

        HDC dc = GetDCEx(dialog, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
        EraseMainBackground(dc);
        // The controls are clipped out of the device context, the gap is not.
        HRGN clip = CreateRectRgn(0, 0, 0, 0);
        if (GetClipRgn(dc, clip) == 1) {
            clipChecked = true;
            POINT origin{};
            GetDCOrgEx(dc, &origin);
            POINT screen{};
            ClientToScreen(dialog, &screen);
            // The clip region is in device coordinates of the window's DC.
            int dx = screen.x - origin.x, dy = screen.y - origin.y;
            listSpared = !PtInRegion(clip, inList.x + dx, inList.y + dy);
            statusSpared = !PtInRegion(clip, inStatus.x + dx, inStatus.y + dy);
            gapFilled = PtInRegion(clip, inGap.x + dx, inGap.y + dy);
        }
        DeleteObject(clip);
        ReleaseDC(dialog, dc);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    ASSERT_TRUE(clipChecked) << "no clip region after the fill";
    EXPECT_TRUE(listSpared);
    EXPECT_TRUE(statusSpared);
    EXPECT_TRUE(gapFilled);
}

} // namespace
