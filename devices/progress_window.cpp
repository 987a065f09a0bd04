#include "devices/progress_window.h"

#include "base/dialog_font.h"
#include "base/dpi.h"
#include "base/handles.h"
#include "base/strings.h"
#include "devices/cdrom_devices.h"
#include "res/resource.h"

#include <atomic>

namespace {

constexpr UINT_PTR FrameTimer = 1;
constexpr UINT FramePeriodMs = 200;

// Resource number of the next animation frame. Only one progress window exists at
// a time, and only its procedure touches this.
LONG progressFrame = IDI_PROGRESS_FIRST;
// The heading font of the progress window that is open.
UniqueFont progressHeadingFont;

// Set by RunWithProgress once the device change is over. The progress thread
// looks at it right after publishing its window, and RunWithProgress looks at the
// window right after setting it: whichever comes second sees the other, so an end
// request that comes before the window exists is not lost.
std::atomic<bool> progressEndRequested = false;

void InitProgressWindow(HWND window)
{
    progressFrame = IDI_PROGRESS_FIRST;
    SetTimer(window, FrameTimer, FramePeriodMs, nullptr);
    SetTextFromString(window, IDC_PROGRESS_TEXT, IDS_PROGRESS_TEXT);
    SetTextFromString(window, IDC_PROGRESS_HEADING, IDS_PROGRESS_HEADING);

    progressHeadingFont = CreateBoldDialogFont();
    if (progressHeadingFont)
        SendDlgItemMessageW(window, IDC_PROGRESS_HEADING, WM_SETFONT,
                            reinterpret_cast<WPARAM>(progressHeadingFont.get()), TRUE);
}

void ShowNextFrame(HWND window)
{
    HICON frame = LoadIconAtSize(ProgramModule(), static_cast<UINT>(progressFrame),
                                 SystemMetricForDpi(SM_CXSMICON, WindowDpi(window)));
    // The control hands back the frame it showed; it never owns one.
    UniqueIcon previous(reinterpret_cast<HICON>(
        SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_SETICON, reinterpret_cast<WPARAM>(frame), 0)));
    // Frame 122 is the picture at rest, shown once; the turn is 123 to 130.
    if (++progressFrame > IDI_PROGRESS_LAST)
        progressFrame = IDI_PROGRESS_TURN_FIRST;
}

void ReleaseProgressWindow(HWND window)
{
    KillTimer(window, FrameTimer);
    UniqueIcon frame(reinterpret_cast<HICON>(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_SETICON, 0, 0)));
    progressHeadingFont.reset();
}

} // namespace

DeviceChangeOutcome RunWithProgress(DWORD state)
{
    ProgressJob job = {GetDesktopWindow(), nullptr, nullptr};
    progressEndRequested = false;
    UniqueHandle thread(CreateThread(nullptr, 0, ProgressThreadMain, &job, 0, nullptr));
    job.thread = thread.get();

    DeviceChangeOutcome outcome;
    ChangeCdromDeviceState(state, &outcome);

    // Only the progress thread may destroy its window; WM_CLOSE makes it do so.
    progressEndRequested = true;
    HWND window = std::atomic_ref<HWND>(job.window).load();
    if (window)
        PostMessageW(window, WM_CLOSE, 0, 0);

    // The job lives in this frame, so the thread must be gone before it is.
    if (thread)
        WaitForSingleObject(thread.get(), INFINITE);
    progressEndRequested = false;
    return outcome;
}

DWORD WINAPI ProgressThreadMain(void* parameter)
{
    auto* job = static_cast<ProgressJob*>(parameter);
    HWND window = CreateDialogParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_PROGRESS), job->owner,
                                     ProgressDialogProc, 0);
    std::atomic_ref<HWND>(job->window).store(window);
    if (!window)
        return 0;
    if (progressEndRequested) {
        // The change was over before the window existed: it never shows.
        DestroyWindow(window);
        return 0;
    }
    ShowWindow(window, SW_SHOW);

    // Only this window's messages: the thread has no others. The window is
    // destroyed on this thread, so checking it after each dispatch ends the loop
    // without relying on GetMessage failing for a handle that has gone.
    MSG message;
    while (IsWindow(window) && GetMessageW(&message, window, 0, 0) > 0) {
        if (!IsWindow(window) || !IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitProgressWindow(window);
        break;
    case WM_TIMER:
        if (wParam == FrameTimer)
            ShowNextFrame(window);
        break;
    case WM_CLOSE:
        // A modeless dialog ends by being destroyed; EndDialog would only hide it.
        DestroyWindow(window);
        break;
    case WM_DESTROY:
        ReleaseProgressWindow(window);
        break;
    default:
        // Every WM_COMMAND lands here too, so Enter and Escape do not end the window.
        break;
    }
    return FALSE;
}
