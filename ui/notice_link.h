// The program's copyright line drawn over the filter list as a link.
#pragma once

#include <windows.h>
#include <shellapi.h>

void AttachNoticeLink(HWND list);
// The link's font made afresh for the list's DPI, the old one deleted.
void SetNoticeFont(HWND list);
// Safe when some of what AttachNoticeLink left on the list is missing.
void DetachNoticeLink(HWND list);

// The list's window procedure while the link is attached; the list sees every
// message after it.
LRESULT CALLBACK NoticeLinkWndProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);
// `dc` covers the list's client area; positions are in client coordinates.
void PaintNotice(HDC dc, HWND list);
void TrackNoticeHover(HWND list, int x, int y);
void HandleNoticeClick(HWND list, int x, int y, bool buttonDown);
void OpenProductPage(HWND owner);

// The shell's open call, replaceable so a test can see the page being opened
// without a browser starting.
struct ShellOpenCalls {
    decltype(&ShellExecuteW) shellExecute;
};
extern ShellOpenCalls shellOpenCalls;
