// The status bar: the line that tells whether the CD-ROM class driver runs, and the
// drive part's text as it fits the part.
#include "services/driver_status.h"
#include "services/service_info.h"
#include "support/wine_tools.h"
#include "ui/status_bar.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

class DriverStatusTest : public ::testing::Test, ScratchMachine {
protected:
    void SetUp() override
    {
        InitCommonControls();
        bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_POPUP, 0, 0, 300, 20, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override { DestroyWindow(bar); }
    std::wstring Line()
    {
        wchar_t text[256] = {};
        SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }
    HWND bar = nullptr;
};

TEST_F(DriverStatusTest, RunningOnlyWhenTheCdromServiceRuns)
{
    RefreshStatusBar(bar);
    EXPECT_EQ(Line(), L"DVD/CD-ROM driver is not running");

    ASSERT_TRUE(CreateDriverService(L"cdrom", L"\\SystemRoot\\system32\\drivers\\cdrom.sys"));
    RefreshStatusBar(bar);
    EXPECT_EQ(Line(), L"DVD/CD-ROM driver is not running");

    ASSERT_TRUE(CreateRunningService(L"cdrom"));
    RefreshStatusBar(bar);
    EXPECT_EQ(Line(), L"DVD-CD-ROM diver is running");
}

TEST(DriverStatusText, OnlyTheRunningStateReadsAsRunning)
{
    for (DWORD state = 0; state <= ServiceStateNotFound; ++state) {
        wchar_t text[256] = {};
        LoadStringW(GetModuleHandleW(nullptr), DriverStatusTextId(state), text, 256);
        EXPECT_STREQ(text, state == SERVICE_RUNNING ? L"DVD-CD-ROM diver is running"
                                                    : L"DVD/CD-ROM driver is not running")
            << "state " << state;
    }
}

TEST(DriveHealthFit, ALongNameGivesWayAndTheCodeStaysInView)
{
    auto onePixelEach = [](const std::wstring& text) { return static_cast<int>(text.size()); };
    const DriveHealthText text{L"Optiarc DVD RW AD-7280S ATA Device", L": code 39, a driver is missing or damaged"};
    const std::wstring whole = text.name + text.rest;
    EXPECT_EQ(FitDriveHealthText(text, static_cast<int>(whole.size()), onePixelEach), whole);
    const int width = static_cast<int>(text.rest.size()) + 8;
    EXPECT_EQ(FitDriveHealthText(text, width, onePixelEach), L"Optiarc\u2026" + text.rest);
    EXPECT_EQ(FitDriveHealthText(text, 5, onePixelEach), L"\u2026" + text.rest);
}

} // namespace
