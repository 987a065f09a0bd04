#include "support/fake_installer.h"
#include "res/resource.h"
#include "devices/progress_window.h"
#include "base/dpi.h"
#include "support/swapped_seam.h"

#include <tlhelp32.h>

#include <array>

namespace {

constexpr UINT_PTR FrameTimer = 1;

std::vector<BYTE> IconPixels(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info))
        return {};
    std::vector<BYTE> pixels;
    BITMAP bitmap = {};
    HBITMAP colour = info.hbmColor ? info.hbmColor : info.hbmMask;
    if (GetObjectW(colour, sizeof(bitmap), &bitmap)) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(format.bmiHeader);
        format.bmiHeader.biWidth = bitmap.bmWidth;
        format.bmiHeader.biHeight = bitmap.bmHeight;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        pixels.resize(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight * 4);
        HDC screen = GetDC(nullptr);
        if (!GetDIBits(screen, colour, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS))
            pixels.clear();
        ReleaseDC(nullptr, screen);
    }
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

// The resource number of the animation frame an icon shows: 0 for a picture
// that is none of them, -1 for an icon that no longer exists.
int FrameOf(HICON icon)
{
    static const auto references = [] {
        std::array<std::vector<BYTE>, IDI_PROGRESS_LAST - IDI_PROGRESS_FIRST + 1> pixels;
        for (int frame = IDI_PROGRESS_FIRST; frame <= IDI_PROGRESS_LAST; ++frame) {
            HICON loaded = static_cast<HICON>(
                LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(frame), IMAGE_ICON,
                           GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
            pixels[frame - IDI_PROGRESS_FIRST] = IconPixels(loaded);
            DestroyIcon(loaded);
        }
        return pixels;
    }();
    std::vector<BYTE> pixels = IconPixels(icon);
    if (pixels.empty())
        return -1;
    for (size_t index = 0; index < references.size(); ++index)
        if (references[index] == pixels)
            return IDI_PROGRESS_FIRST + static_cast<int>(index);
    return 0;
}

bool IconAlive(HICON icon)
{
    return !IconPixels(icon).empty();
}

bool FontAlive(HFONT font)
{
    return GetObjectType(font) != 0;
}

HICON ShownIcon(HWND window)
{
    return reinterpret_cast<HICON>(SendDlgItemMessageW(window, IDC_PROGRESS_ICON, STM_GETICON, 0, 0));
}

HFONT HeadingFont(HWND window)
{
    return reinterpret_cast<HFONT>(SendDlgItemMessageW(window, IDC_PROGRESS_HEADING, WM_GETFONT, 0, 0));
}

BOOL CALLBACK MatchProgressWindow(HWND window, LPARAM result)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && GetDlgItem(window, IDC_PROGRESS_ICON) &&
        GetDlgItem(window, IDC_PROGRESS_HEADING)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

// Any progress window of this process, found the way a user would see it: a
// top-level window with the frame icon and the heading.
HWND FindProgressWindow()
{
    HWND found = nullptr;
    EnumWindows(MatchProgressWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The counters of open objects answer 0 under Wine; the thread list does not.
size_t ProcessThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
}

// Runs RunWithProgress on a thread of its own, so that a run that never ends is
// a failure here rather than a hung test program.
DWORD WINAPI RunnerMain(void* state)
{
    RunWithProgress(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(state)));
    return 0;
}

::testing::AssertionResult RunsToEnd(DWORD state, DWORD timeoutMs = 20000)
{
    HANDLE runner = CreateThread(nullptr, 0, RunnerMain, reinterpret_cast<void*>(static_cast<ULONG_PTR>(state)), 0,
                                 nullptr);
    if (!runner)
        return ::testing::AssertionFailure() << "no thread for the run";
    DWORD waited = WaitForSingleObject(runner, timeoutMs);
    CloseHandle(runner);
    if (waited != WAIT_OBJECT_0)
        return ::testing::AssertionFailure() << "RunWithProgress did not return within " << timeoutMs << " ms";
    return ::testing::AssertionSuccess();
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

int NextFrame(int frame)
{
    return frame == IDI_PROGRESS_LAST ? IDI_PROGRESS_TURN_FIRST : frame + 1;
}

HWND CreateProgressDialog()
{
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), GetDesktopWindow(),
                              ProgressDialogProc, 0);
}

std::wstring ResourceString(UINT id)
{
    wchar_t text[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), id, text, 256);
    return text;
}

std::wstring ControlText(HWND window, int control)
{
    wchar_t text[256] = {};
    GetDlgItemTextW(window, control, text, 256);
    return text;
}

TEST(ProgressDialog, FrameIconsAreTellApart)
{
    for (int frame = IDI_PROGRESS_FIRST; frame <= IDI_PROGRESS_LAST; ++frame) {
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(frame), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        EXPECT_EQ(FrameOf(icon), frame);
        DestroyIcon(icon);
    }
}

// On a monitor at 150 % the frames are that monitor's small-icon size. Wine has
// one DPI for every window, so the window's comes from a stand-in.
TEST(ProgressDialog, FramesAreTheSmallIconSizeOfTheWindowsDpi)
{
    SwappedSeam dpi(dpiCalls);
    dpiCalls.windowDpi = [](HWND) -> UINT { return 144; };
    HWND window = CreateProgressDialog();
    ASSERT_NE(window, nullptr);
    SendMessageW(window, WM_TIMER, FrameTimer, 0);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(ShownIcon(window), &info));
    BITMAP colour = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(colour), &colour);
    EXPECT_EQ(colour.bmWidth, SystemMetricForDpi(SM_CXSMICON, 144));
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyWindow(window);
}

// Ticks are sent by hand here, so the sequence does not depend on timing.
TEST(ProgressDialog, TurnsThroughTheFramesAndFreesWhatItShowed)
{
    HWND window = CreateProgressDialog();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ControlText(window, IDC_PROGRESS_TEXT), ResourceString(IDS_PROGRESS_TEXT));
    EXPECT_EQ(ControlText(window, IDC_PROGRESS_HEADING), ResourceString(IDS_PROGRESS_HEADING));
    HFONT heading = HeadingFont(window);
    LOGFONTW headingFont = {}, guiFont = {};
    ASSERT_TRUE(GetObjectW(heading, sizeof(headingFont), &headingFont));
    ASSERT_TRUE(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(guiFont), &guiFont));
    EXPECT_EQ(headingFont.lfWeight, FW_BOLD);
    EXPECT_EQ(headingFont.lfHeight, guiFont.lfHeight);
    EXPECT_STREQ(headingFont.lfFaceName, guiFont.lfFaceName);
    EXPECT_EQ(ShownIcon(window), nullptr) << "the window opens with an empty icon area";

    const int expected[] = {122, 123, 124, 125, 126, 127, 128, 129, 130, 123, 124, 125, 126, 127, 128, 129, 130, 123};
    HICON previous = nullptr;
    for (int frame : expected) {
        SendMessageW(window, WM_TIMER, FrameTimer, 0);
        HICON shown = ShownIcon(window);
        EXPECT_EQ(FrameOf(shown), frame);
        if (previous) {
            EXPECT_FALSE(IconAlive(previous)) << "the frame replaced before " << frame << " was not destroyed";
        }
        previous = shown;
    }
    SendMessageW(window, WM_TIMER, FrameTimer + 1, 0);
    EXPECT_EQ(ShownIcon(window), previous) << "another timer moved the animation";

    // Enter and Escape reach the dialog as IDOK and IDCANCEL; neither ends it.
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
        MSG press = {window, WM_KEYDOWN, key, 0, 0, {}};
        IsDialogMessageW(window, &press);
    }
    SendMessageW(window, WM_COMMAND, IDOK, 0);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(window));

    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window)) << "closing must destroy the window, not hide it";
    EXPECT_FALSE(IconAlive(previous));
    EXPECT_FALSE(FontAlive(heading));

    // The next window starts again with the frame at rest.
    window = CreateProgressDialog();
    ASSERT_NE(window, nullptr);
    SendMessageW(window, WM_TIMER, FrameTimer, 0);
    EXPECT_EQ(FrameOf(ShownIcon(window)), IDI_PROGRESS_FIRST);
    DestroyWindow(window);
}

// What a user could see of the progress window while a change runs.
struct Sighting {
    HWND window = nullptr;
    bool visible = false;
    HANDLE thread = nullptr;
    HFONT heading = nullptr;
    std::vector<HICON> icons;
    std::vector<int> frames;

    ~Sighting()
    {
        if (thread)
            CloseHandle(thread);
    }

    // Looks once; returns whether the window was there.
    bool Look()
    {
        HWND current = FindProgressWindow();
        if (!current)
            return false;
        if (!window) {
            window = current;
            heading = HeadingFont(current);
            thread = OpenThread(SYNCHRONIZE, FALSE, GetWindowThreadProcessId(current, nullptr));
        }
        visible = visible || IsWindowVisible(current);
        HICON icon = ShownIcon(current);
        if (icon && (icons.empty() || icons.back() != icon)) {
            int frame = FrameOf(icon);
            if (frame != -1) {
                icons.push_back(icon);
                frames.push_back(frame);
            }
        }
        return true;
    }

    ::testing::AssertionResult NothingLeft() const
    {
        if (!window)
            return ::testing::AssertionFailure() << "the progress window was never seen";
        if (IsWindow(window))
            return ::testing::AssertionFailure() << "the progress window still exists";
        if (!thread || WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
            return ::testing::AssertionFailure() << "the progress thread has not ended";
        if (heading && FontAlive(heading))
            return ::testing::AssertionFailure() << "the bold heading font was not deleted";
        for (HICON icon : icons)
            if (IconAlive(icon))
                return ::testing::AssertionFailure() << "a frame icon was not destroyed";
        return ::testing::AssertionSuccess();
    }
};

using ProgressRunTest = FakeInstallerTest;

TEST_F(ProgressRunTest, AnimatesWhileALongChangeRunsThenLeavesNothingBehind)
{
    size_t threadsBefore = ProcessThreadCount();
    Sighting seen;
    fakeDevices.changeResults = {TRUE};
    fakeDevices.duringChange = [&seen] {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 2000) {
            seen.Look();
            Sleep(5);
        }
    };
    ASSERT_TRUE(RunsToEnd(DICS_PROPCHANGE));

    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.NothingLeft());
    EXPECT_EQ(FindProgressWindow(), nullptr);
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
    EXPECT_NE(seen.heading, nullptr);
    // One frame each 200 ms: about ten in two seconds, fewer on a busy machine.
    EXPECT_GE(seen.frames.size(), 4u);
    EXPECT_LE(seen.frames.size(), 11u);
    ASSERT_FALSE(seen.frames.empty());
    EXPECT_EQ(seen.frames.front(), IDI_PROGRESS_FIRST);
    for (size_t index = 1; index < seen.frames.size(); ++index)
        EXPECT_EQ(seen.frames[index], NextFrame(seen.frames[index - 1])) << "frame " << index;
    EXPECT_EQ(fakeDevices.calls.back().kind, InstallerCall::DestroyDeviceInfoList);
}

TEST_F(ProgressRunTest, AChangeThatReturnsAtOnceLeavesNoWindow)
{
    size_t threadsBefore = ProcessThreadCount();
    DWORD start = GetTickCount();
    ASSERT_TRUE(RunsToEnd(DICS_ENABLE));
    EXPECT_LT(GetTickCount() - start, 2000u) << "the run waited for something other than the change";
    EXPECT_EQ(FindProgressWindow(), nullptr);
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
}

// Short changes of different lengths end the window before, while and after it
// is created; every tenth run lasts until the first frame shows, so that icons
// exist to be freed.
TEST_F(ProgressRunTest, HundredRunsInARowLeaveNothingBehind)
{
    // GoogleTest watches each thread that uses a trace with a thread of its own;
    // that watcher must exist before the count is taken.
    SCOPED_TRACE("hundred runs");
    size_t threadsBefore = ProcessThreadCount();
    for (int run = 0; run < 100; ++run) {
        SCOPED_TRACE(run);
        Sighting seen;
        const bool untilFirstFrame = run % 10 == 1;
        fakeDevices.calls.clear();
        fakeDevices.changeResults.assign(run % 3 == 0 && !untilFirstFrame ? 0 : 1, TRUE);
        fakeDevices.duringChange = [&seen, run, untilFirstFrame] {
            if (untilFirstFrame)
                WaitUntil([&seen] { return seen.Look() && !seen.icons.empty(); }, 2000);
            else
                Sleep(run % 5);
            seen.Look();
        };
        ASSERT_TRUE(RunsToEnd(DICS_PROPCHANGE));
        ASSERT_EQ(FindProgressWindow(), nullptr);
        if (seen.window) {
            ASSERT_TRUE(seen.NothingLeft());
        }
        if (untilFirstFrame) {
            ASSERT_FALSE(seen.icons.empty());
        }
    }
    EXPECT_EQ(ProcessThreadCount(), threadsBefore);
}

TEST_F(ProgressRunTest, ClosingTheWindowEndsItWhileTheChangeGoesOn)
{
    Sighting seen;
    bool endedDuringChange = false;
    fakeDevices.changeResults = {TRUE};
    fakeDevices.duringChange = [&] {
        ASSERT_TRUE(WaitUntil([&seen] { return seen.Look(); }, 5000));
        PostMessageW(seen.window, WM_CLOSE, 0, 0);
        endedDuringChange = seen.thread && WaitForSingleObject(seen.thread, 5000) == WAIT_OBJECT_0;
    };
    ASSERT_TRUE(RunsToEnd(DICS_DISABLE));
    EXPECT_TRUE(endedDuringChange);
    EXPECT_TRUE(seen.NothingLeft());
    EXPECT_EQ(fakeDevices.calls.back().kind, InstallerCall::DestroyDeviceInfoList);
}

} // namespace
