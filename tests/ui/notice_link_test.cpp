#include "base/product.h"
#include "services/version_info.h"
#include "ui/filter_window_fixture.h"
#include "ui/notice_link.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct PageOpening {
    HWND owner;
    std::wstring verb;
    std::wstring file;
    bool parametersGiven;
    bool directoryGiven;
    INT show;
};
std::vector<PageOpening> pagesOpened;

HINSTANCE WINAPI RecordShellOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                 INT show)
{
    pagesOpened.push_back({owner, verb ? verb : L"", file ? file : L"", parameters != nullptr,
                           directory != nullptr, show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

// Every message the list's own procedure receives, behind the notice link.
std::vector<UINT> listMessages;
WNDPROC originalListProc = nullptr;

LRESULT CALLBACK RecordingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    listMessages.push_back(message);
    return CallWindowProcW(originalListProc, list, message, wParam, lParam);
}

// A real list view in a visible top-level window, with the notice link attached.
class NoticeLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        frame_ = CreateWindowExW(0, L"STATIC", L"notice test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(frame_, nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300, 200, frame_,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(list_, nullptr);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<wchar_t*>(L"Name");
        SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        originalListProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list_, GWLP_WNDPROC));
        shellOpenCalls.shellExecute = RecordShellOpen;
        pagesOpened.clear();
        AttachNoticeLink(list_);
        AddRows(2);
        Repaint();
    }

    void TearDown() override
    {
        ReleaseCapture();
        if (list_)
            DetachNoticeLink(list_);
        if (frame_)
            DestroyWindow(frame_);
    }

    void AddRows(int count)
    {
        for (int index = 0; index < count; ++index) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = INT_MAX;
            item.pszText = const_cast<wchar_t*>(L"filter");
            SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }

    void Repaint()
    {
        InvalidateRect(list_, nullptr, TRUE);
        UpdateWindow(list_);
    }

    bool ScrollBarShown() const { return (GetWindowLongW(list_, GWL_STYLE) & WS_VSCROLL) != 0; }

    RECT Notice() const
    {
        const RECT* notice = static_cast<const RECT*>(GetPropW(list_, L"rcNotice"));
        return notice ? *notice : RECT{-1, -1, -1, -1};
    }

    RECT Client() const
    {
        RECT client = {};
        GetClientRect(list_, &client);
        return client;
    }

    void Move(int x, int y) { SendMessageW(list_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }
    void Press(int x, int y) { SendMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void Release(int x, int y) { SendMessageW(list_, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
    void Click(int x, int y)
    {
        Press(x, y);
        Release(x, y);
    }
    POINT Centre() const
    {
        RECT notice = Notice();
        return {(notice.left + notice.right) / 2, (notice.top + notice.bottom) / 2};
    }

    HWND frame_ = nullptr;
    HWND list_ = nullptr;
    SwappedSeam<ShellOpenCalls> shell_{shellOpenCalls};
};

TEST_F(NoticeLinkTest, AttachSubclassesAndDetachRestoresEverything)
{
    EXPECT_EQ(GetWindowLongPtrW(list_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(NoticeLinkWndProc));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetPropW(list_, L"OldWindowProc")), originalListProc);

    HFONT font = static_cast<HFONT>(GetPropW(list_, L"font"));
    LOGFONTW notice = {}, gui = {};
    ASSERT_TRUE(GetObjectW(font, sizeof(notice), &notice));
    ASSERT_TRUE(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(gui), &gui));
    HDC screen = GetDC(GetDesktopWindow());
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(GetDesktopWindow(), screen);
    EXPECT_EQ(notice.lfHeight, -MulDiv(7, pixelsPerInch, 72));
    EXPECT_EQ(notice.lfUnderline, 1);
    EXPECT_EQ(notice.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_STREQ(notice.lfFaceName, L"Tahoma");
    EXPECT_EQ(notice.lfWeight, gui.lfWeight);
    EXPECT_EQ(notice.lfCharSet, gui.lfCharSet);
    EXPECT_EQ(notice.lfPitchAndFamily, gui.lfPitchAndFamily);

    DetachNoticeLink(list_);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(list_, GWLP_WNDPROC)), originalListProc);
    EXPECT_EQ(GetPropW(list_, L"OldWindowProc"), nullptr);
    EXPECT_EQ(GetPropW(list_, L"rcNotice"), nullptr);
    EXPECT_EQ(GetPropW(list_, L"font"), nullptr);
    EXPECT_EQ(GetObjectType(font), 0u) << "the notice font was not deleted";

    // Once more with nothing left to undo; and a second attach must not chain to itself.
    DetachNoticeLink(list_);
    AttachNoticeLink(list_);
    AttachNoticeLink(list_);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetPropW(list_, L"OldWindowProc")), originalListProc);
    EXPECT_EQ(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0), 2);
}

TEST_F(NoticeLinkTest, DrawnInTheBottomLeftCornerWhileAllRowsFit)
{
    ASSERT_FALSE(ScrollBarShown());
    wchar_t text[256] = {};
    ASSERT_TRUE(ReadVersionString(nullptr, L"LegalCopyright", text));
    ASSERT_NE(text[0], L'\0');
    HDC dc = GetDC(list_);
    HGDIOBJ previous = SelectObject(dc, GetPropW(list_, L"font"));
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    SelectObject(dc, previous);
    ReleaseDC(list_, dc);

    RECT notice = Notice();
    EXPECT_EQ(notice.left, 5);
    EXPECT_EQ(notice.right, extent.cx + 5);
    EXPECT_EQ(notice.bottom, Client().bottom - 5);
    EXPECT_EQ(notice.bottom - notice.top, extent.cy);

    // It follows the bottom edge.
    SetWindowPos(list_, nullptr, 0, 0, 320, 240, SWP_NOZORDER | SWP_NOMOVE);
    Repaint();
    ASSERT_FALSE(ScrollBarShown());
    EXPECT_EQ(Notice().bottom, Client().bottom - 5);
    EXPECT_EQ(Notice().left, 5);
}

TEST_F(NoticeLinkTest, HoverTakesTheCaptureWithTheHandCursorAndLeavingGivesItBack)
{
    const RECT notice = Notice();
    ASSERT_LT(notice.left, notice.right);
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    // Every edge of the rectangle counts as on the notice.
    const POINT onNotice[] = {Centre(), {notice.left, notice.top}, {notice.right, notice.bottom},
                              {notice.left, notice.bottom}, {notice.right, notice.top}};
    for (POINT point : onNotice) {
        ReleaseCapture();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        Move(point.x, point.y);
        EXPECT_EQ(GetCapture(), list_) << point.x << "," << point.y;
        EXPECT_EQ(GetCursor(), hand) << point.x << "," << point.y;
    }
    const POINT offNotice[] = {{notice.right + 1, notice.bottom}, {notice.left - 1, notice.top},
                               {notice.left, notice.top - 1}, {notice.right, notice.bottom + 1}};
    for (POINT point : offNotice) {
        Move(Centre().x, Centre().y);
        ASSERT_EQ(GetCapture(), list_);
        Move(point.x, point.y);
        EXPECT_EQ(GetCapture(), nullptr) << point.x << "," << point.y;
    }
}

TEST_F(NoticeLinkTest, AClickOpensTheProductPageOnceAndAMovedReleaseDoesNot)
{
    const POINT press = Centre();
    Click(press.x, press.y);
    ASSERT_EQ(pagesOpened.size(), 1u);
    EXPECT_EQ(pagesOpened[0].owner, list_);
    EXPECT_EQ(pagesOpened[0].verb, L"open");
    EXPECT_EQ(pagesOpened[0].file, ProductPageAddress);
    EXPECT_FALSE(pagesOpened[0].parametersGiven);
    EXPECT_FALSE(pagesOpened[0].directoryGiven);
    EXPECT_EQ(pagesOpened[0].show, SW_SHOW);

    // Within half the drag distance either way the release is still a click.
    const int dx = GetSystemMetrics(SM_CXDRAG) / 2;
    const int dy = GetSystemMetrics(SM_CYDRAG) / 2;
    const RECT notice = Notice();
    ASSERT_GE(press.x - dx - 1, notice.left);
    ASSERT_LE(press.y + dy + 1, notice.bottom);
    struct Attempt {
        int x, y;
        bool opens;
    };
    const Attempt releases[] = {
        {press.x + dx, press.y, true},      {press.x - dx, press.y + dy, true},
        {press.x + dx + 1, press.y, false}, {press.x - dx - 1, press.y, false},
        {press.x, press.y + dy + 1, false}, {press.x, press.y - dy - 1, false},
    };
    for (const Attempt& release : releases) {
        pagesOpened.clear();
        Press(press.x, press.y);
        Release(release.x, release.y);
        EXPECT_EQ(pagesOpened.size(), release.opens ? 1u : 0u) << release.x - press.x << "," << release.y - press.y;
    }

    // A press elsewhere leaves the last press on the notice standing.
    pagesOpened.clear();
    Press(notice.right, notice.top);
    Press(notice.right + 40, notice.top - 40);
    EXPECT_EQ(GetCapture(), nullptr);
    Release(notice.right, notice.top);
    EXPECT_EQ(pagesOpened.size(), 1u);
    pagesOpened.clear();
    Release(press.x, press.y);
    EXPECT_EQ(pagesOpened.size(), 0u);
}

// How many pixels of the notice's rectangle the notice paints in the link colour,
// read from a memory context, since a window's own surface may keep no pixels.
int LinkColouredPixels(HWND list, const RECT& notice)
{
    RECT client{};
    GetClientRect(list, &client);
    std::vector<DWORD> pixels = Picture(client.right, client.bottom, [&](HDC dc) {
        PatBlt(dc, 0, 0, client.right, client.bottom, WHITENESS);
        PaintNotice(dc, list);
    });
    COLORREF link = GetSysColor(COLOR_HOTLIGHT);
    DWORD wanted = (GetRValue(link) << 16) | (GetGValue(link) << 8) | GetBValue(link);
    int count = 0;
    for (LONG y = std::max(0L, notice.top); y < std::min(client.bottom, notice.bottom); ++y)
        for (LONG x = std::max(0L, notice.left); x < std::min(client.right, notice.right); ++x)
            count += (pixels.at(y * client.right + x) & 0xFFFFFF) == wanted;
    return count;
}

TEST_F(NoticeLinkTest, HiddenAndInertWhileTheScrollBarShows)
{
    const RECT before = Notice();
    EXPECT_GT(LinkColouredPixels(list_, before), 0) << "the notice is measured but not drawn";
    for (int rows = 0; rows < 200 && !ScrollBarShown(); rows += 5) {
        AddRows(5);
        UpdateWindow(list_);
    }
    ASSERT_TRUE(ScrollBarShown());
    SetWindowPos(list_, nullptr, 0, 0, 300, 180, SWP_NOZORDER | SWP_NOMOVE);
    Repaint();
    ASSERT_TRUE(ScrollBarShown());
    EXPECT_EQ(Notice().bottom, before.bottom) << "drawn at the new bottom edge despite the scroll bar";
    EXPECT_EQ(LinkColouredPixels(list_, before), 0) << "drawn despite the scroll bar";

    const POINT centre = Centre();
    Move(centre.x, centre.y);
    EXPECT_EQ(GetCapture(), nullptr);
    Click(centre.x, centre.y);
    EXPECT_TRUE(pagesOpened.empty());

    // Without the scroll bar it is back at the bottom edge.
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    AddRows(1);
    Repaint();
    ASSERT_FALSE(ScrollBarShown());
    EXPECT_EQ(Notice().bottom, Client().bottom - 5);
    Click(Centre().x, Centre().y);
    EXPECT_EQ(pagesOpened.size(), 1u);
}

TEST_F(NoticeLinkTest, WithoutARectangleItIsNeitherDrawnNorClickable)
{
    HeapFree(GetProcessHeap(), 0, RemovePropW(list_, L"rcNotice"));
    Repaint();
    Move(10, Client().bottom - 8);
    EXPECT_EQ(GetCapture(), nullptr);
    Click(10, Client().bottom - 8);
    EXPECT_TRUE(pagesOpened.empty());
}

TEST_F(NoticeLinkTest, TheListStillGetsEveryMessageAndAnswersThem)
{
    DetachNoticeLink(list_);
    SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingListProc));
    AttachNoticeLink(list_);
    Repaint();
    listMessages.clear();
    const POINT centre = Centre();
    Move(centre.x, centre.y);
    Click(centre.x, centre.y);
    Repaint();
    EXPECT_EQ(pagesOpened.size(), 1u);
    for (UINT message : {UINT{WM_MOUSEMOVE}, UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}, UINT{WM_PAINT}})
        EXPECT_NE(std::find(listMessages.begin(), listMessages.end(), message), listMessages.end()) << message;
    EXPECT_EQ(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0), 2);
    DetachNoticeLink(list_);
    SetWindowLongPtrW(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalListProc));
}

} // namespace
