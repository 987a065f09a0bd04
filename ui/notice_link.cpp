#include "ui/notice_link.h"

#include "base/dpi.h"
#include "base/handles.h"
#include "base/product.h"
#include "services/service_info.h"
#include "services/version_info.h"

namespace {

constexpr wchar_t OldWindowProcProperty[] = L"OldWindowProc";
constexpr wchar_t NoticeRectProperty[] = L"rcNotice";
constexpr wchar_t FontProperty[] = L"font";

constexpr int NoticeMargin = 5; // pixels at 96 DPI
constexpr int NoticePointSize = 7;

// True from the moment the last drawn rectangle was invalidated until the notice
// is drawn again, so that a hidden notice is painted over only once.
bool noticeInvalidated = false;
// Where the button last went down on the notice; a release near it is a click.
POINT noticePressPoint = {0, 0};

HFONT CreateNoticeFont(UINT dpi)
{
    HGDIOBJ guiFont = GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTW font = {};
    if (GetObjectW(guiFont, sizeof(font), &font) == 0)
        return static_cast<HFONT>(guiFont);
    font.lfUnderline = TRUE;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfHeight = -MulDiv(NoticePointSize, static_cast<int>(dpi), 72);
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

// The notice shows only while all rows fit, that is while the list has no
// vertical scroll bar. A state that cannot be read counts as a visible bar.
bool NoticeActive(HWND list)
{
    SCROLLBARINFO scrollBar = {};
    scrollBar.cbSize = sizeof(scrollBar);
    GetScrollBarInfo(list, OBJID_VSCROLL, &scrollBar);
    return (scrollBar.rgstate[0] & STATE_SYSTEM_INVISIBLE) != 0;
}

RECT* NoticeRect(HWND list)
{
    return static_cast<RECT*>(GetPropW(list, NoticeRectProperty));
}

// The rectangle of a notice that takes mouse input, or null. Without a rectangle
// to record where it was drawn the notice is never drawn, so it takes none.
const RECT* ActiveNoticeRect(HWND list)
{
    const RECT* notice = NoticeRect(list);
    return notice && NoticeActive(list) ? notice : nullptr;
}

// All four edges belong to the notice.
bool OnNotice(const RECT& notice, int x, int y)
{
    return notice.left <= x && x <= notice.right && notice.top <= y && y <= notice.bottom;
}

// Whether the mouse at (x, y) is on a notice that takes input. When it is off
// one, the capture that hovering or pressing took is given back.
bool MouseOnNotice(HWND list, int x, int y)
{
    const RECT* notice = ActiveNoticeRect(list);
    if (!notice)
        return false;
    if (!OnNotice(*notice, x, y)) {
        ReleaseCapture();
        return false;
    }
    return true;
}

} // namespace

ShellOpenCalls shellOpenCalls = {ShellExecuteW};

void AttachNoticeLink(HWND list)
{
    // A second attach would make the notice its own previous procedure.
    if (GetPropW(list, OldWindowProcProperty))
        return;
    LONG_PTR previous = GetWindowLongPtrW(list, GWLP_WNDPROC);
    if (SetPropW(list, OldWindowProcProperty, reinterpret_cast<HANDLE>(previous)))
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NoticeLinkWndProc));

    UniqueHeapBlock notice = AllocateHeapBlock(sizeof(RECT));
    if (notice && SetPropW(list, NoticeRectProperty, notice.get()))
        notice.release();

    SetNoticeFont(list);
}

void SetNoticeFont(HWND list)
{
    UniqueFont font(CreateNoticeFont(WindowDpi(list)));
    if (!font)
        return;
    // Has no effect on the stock font, which stands in when no font could be made.
    UniqueFont previous(static_cast<HFONT>(GetPropW(list, FontProperty)));
    if (SetPropW(list, FontProperty, font.get()))
        font.release();
    else
        previous.release(); // still the list's
    InvalidateRect(list, nullptr, TRUE);
}

void DetachNoticeLink(HWND list)
{
    if (HANDLE previous = GetPropW(list, OldWindowProcProperty))
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    UniqueHeapBlock notice(GetPropW(list, NoticeRectProperty));
    // Has no effect on the stock font, which stands in when no font could be made.
    UniqueFont font(static_cast<HFONT>(GetPropW(list, FontProperty)));
    RemovePropW(list, FontProperty);
    RemovePropW(list, NoticeRectProperty);
    RemovePropW(list, OldWindowProcProperty);
}

LRESULT CALLBACK NoticeLinkWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_PAINT: {
        UniqueWindowDC dc(list);
        if (dc)
            PaintNotice(dc.get(), list);
        break;
    }
    case WM_MOUSEMOVE:
        TrackNoticeHover(list, x, y);
        break;
    case WM_LBUTTONDOWN:
        HandleNoticeClick(list, x, y, true);
        break;
    case WM_LBUTTONUP:
        HandleNoticeClick(list, x, y, false);
        break;
    default:
        break;
    }
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(list, OldWindowProcProperty));
    if (!previous)
        return DefWindowProcW(list, message, wParam, lParam);
    return CallWindowProcW(previous, list, message, wParam, lParam);
}

void PaintNotice(HDC dc, HWND list)
{
    RECT* notice = NoticeRect(list);
    if (!notice)
        return;
    RECT client = {};
    GetClientRect(list, &client);
    // Read at every paint, never kept: an unreadable text stays empty.
    wchar_t text[DisplayTextLength] = {};
    ReadVersionString(nullptr, L"LegalCopyright", text);

    if (!noticeInvalidated) {
        InvalidateRect(list, notice, TRUE);
        noticeInvalidated = true;
    }
    // The list's own painting, which follows, covers the old notice.
    if (!NoticeActive(list))
        return;

    SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
    {
        UniqueSelectObject font(dc, GetPropW(list, FontProperty));
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
        const int margin = ScaleForDpi(NoticeMargin, WindowDpi(list));
        notice->left = margin;
        notice->top = client.bottom - extent.cy - margin;
        notice->right = extent.cx + margin;
        notice->bottom = client.bottom - margin;
        DrawTextW(dc, text, -1, notice, DT_SINGLELINE);
    }

    // Keeps the list from painting over the text.
    ValidateRect(list, notice);
    noticeInvalidated = false;
}

void TrackNoticeHover(HWND list, int x, int y)
{
    if (!MouseOnNotice(list, x, y))
        return;
    // Holding the capture keeps the hand cursor and brings the move that leaves
    // the notice back here.
    SetCapture(list);
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
}

void HandleNoticeClick(HWND list, int x, int y, bool buttonDown)
{
    if (!MouseOnNotice(list, x, y))
        return;
    if (buttonDown) {
        SetCapture(list);
        noticePressPoint = {x, y};
        return;
    }
    // A release that moved less than half a drag away from the press is a click.
    const int dx = GetSystemMetrics(SM_CXDRAG) / 2;
    const int dy = GetSystemMetrics(SM_CYDRAG) / 2;
    if (noticePressPoint.x - dx <= x && x <= noticePressPoint.x + dx && noticePressPoint.y - dy <= y &&
        y <= noticePressPoint.y + dy)
        OpenProductPage(list);
}

void OpenProductPage(HWND owner)
{
    shellOpenCalls.shellExecute(owner, L"open", ProductPageAddress, nullptr, nullptr, SW_SHOW);
}
