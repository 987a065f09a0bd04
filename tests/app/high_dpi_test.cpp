// The main window at 150 %. Wine takes the screen's DPI from LogPixels when a
// process starts, so each size is read from a program started after setting it
// (probe/window_sizes.cpp), with the sandbox's drive and culprit.
#include "main_dialog_runner.h"

#include "base/dpi.h"
#include "filters/filter_registry.h"
#include "res/resource.h"
#include "support/wine_tools.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

namespace {

constexpr wchar_t DesktopKey[] = L"Control Panel\\Desktop";

// While alive, programs started from here get `dpi` as the screen's; the value
// before, or its absence, comes back afterwards, so no other test sees it.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi)
    {
        DWORD size = sizeof(previous_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &previous_,
                            &size) == ERROR_SUCCESS;
        Set(dpi);
    }
    ~SystemDpi()
    {
        if (had_)
            Set(previous_);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels");
    }
    SystemDpi(const SystemDpi&) = delete;
    SystemDpi& operator=(const SystemDpi&) = delete;

private:
    static void Set(DWORD dpi)
    {
        EXPECT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)),
                  ERROR_SUCCESS);
    }
    DWORD previous_ = 0;
    bool had_ = false;
};

// What the probe printed: numbers by key, and the status bar's texts.
struct WindowSizes {
    std::map<std::string, std::vector<long>> numbers;
    std::map<std::string, std::string> texts;
    std::string printed;
    long operator()(const std::string& key, size_t index = 0) const
    {
        auto found = numbers.find(key);
        return found != numbers.end() && index < found->second.size() ? found->second[index] : -1;
    }
};

WindowSizes MeasureWindow(DWORD dpi, const wchar_t* language)
{
    SystemDpi screen(dpi);
    std::string output;
    DWORD code = RunTool(L"\"" + PathBesideTestProgram(L"qm_window_sizes.exe") + L"\" " + language, &output);
    EXPECT_EQ(code, 0u) << output;
    WindowSizes sizes;
    sizes.printed = output;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string key = line.substr(0, line.find(' '));
        std::string rest = line.size() > key.size() ? line.substr(key.size() + 1) : "";
        if (key.rfind("text", 0) == 0) {
            sizes.texts[key] = rest;
            continue;
        }
        std::istringstream values(rest);
        for (long value; values >> value;)
            sizes.numbers[key].push_back(value);
    }
    return sizes;
}

// Within 10 % of growing as `follows` grows: what follows a font grows as the
// font does, in whole pixels.
::testing::AssertionResult GrowsAs(long at96, long at144, long follows96, long follows144)
{
    double expected = static_cast<double>(at96) * follows144 / follows96;
    if (follows96 > 0 && std::abs(at144 - expected) <= 0.1 * expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << at144 << " at 144 DPI for " << at96 << " at 96, where what it follows is "
                                         << follows144 << " for " << follows96;
}

class HighDpi : public ::testing::Test {
protected:
    // The sandbox: the CD-ROM driver runs, and the class's lower filter TrayGuard
    // has no driver file, which the drive part names.
    static void SetUpTestSuite()
    {
        ScratchMachine machine;
        ScratchAppData appData;
        DeleteServiceIfPresent(L"TrayGuard"); // left by a run that stopped half-way
        WriteClassMultiSz(LowerFiltersValue, {L"TrayGuard"});
        ASSERT_TRUE(CreateDriverService(L"TrayGuard", L"System32\\drivers\\trayguard.sys"));
        ASSERT_TRUE(CreateRunningService(L"cdrom"));
        for (const wchar_t* language : {L"en", L"de"}) {
            for (DWORD dpi : {96u, 144u}) {
                measured[{language, dpi}] = MeasureWindow(dpi, language);
                // Each run starts at the default size, as a first run does.
                DeleteFileW(appData.SettingsPath().c_str());
            }
        }
        DeleteServiceIfPresent(L"TrayGuard");
    }
    static void TearDownTestSuite() { measured.clear(); }

    static const WindowSizes& At(const std::wstring& language, DWORD dpi) { return measured[{language, dpi}]; }
    static std::map<std::pair<std::wstring, DWORD>, WindowSizes> measured;
};

std::map<std::pair<std::wstring, DWORD>, WindowSizes> HighDpi::measured;

TEST_F(HighDpi, ColumnsPartsAndPicturesGrowByHalfAndCutNothingTheyShowWholeAt96)
{
    for (const wchar_t* language : {L"en", L"de"}) {
        SCOPED_TRACE(Narrow(language));
        const WindowSizes& normal = At(language, 96);
        const WindowSizes& large = At(language, 144);
        ASSERT_EQ(normal("dpi"), 96) << "Wine did not follow LogPixels";
        ASSERT_EQ(large("dpi"), 144) << "Wine did not follow LogPixels";

        EXPECT_EQ(normal("column0"), 100);
        EXPECT_EQ(large("column0"), 150);
        EXPECT_EQ(large("column2"), 150);
        EXPECT_EQ(large("column1"), large("listclient") - 300);
        // The row icons are 16 and 24 pixels; the check boxes are the system's check
        // mark size, which follows the menu font: 13 and 21 pixels here.
        for (const char* pictures : {"stateicons", "smallicons"}) {
            for (size_t axis : {0u, 1u})
                EXPECT_TRUE(GrowsAs(normal(pictures, axis), large(pictures, axis), 2, 3)) << pictures;
        }
        // The driver line's part is as wide as its text, whose font is made in whole
        // pixels (11 at 96, 16 at 144): it grows as the text does, not exactly by half.
        EXPECT_TRUE(GrowsAs(normal("part0"), large("part0"), normal("part0", 2), large("part0", 2)));

        for (const char* shown : {"column0", "column1", "column2"})
            EXPECT_LE(large(shown, 1), normal(shown, 1)) << shown << " cuts texts at 144 that it shows whole at 96";
        for (const char* part : {"part0", "part1"})
            EXPECT_LE(large(part, 1), normal(part, 1)) << part << " cuts its text at 144:\n" << large.printed;

        // The whole window, frame included, on the screen.
        EXPECT_GE(large("window", 0), large("work", 0));
        EXPECT_GE(large("window", 1), large("work", 1));
        EXPECT_LE(large("window", 2), large("work", 2));
        EXPECT_LE(large("window", 3), large("work", 3));
    }
}

// The drive's name is what tells the user which drive is meant: at the default
// size it must not give way to the rest of the line.
TEST_F(HighDpi, TheSandboxDriveTextIsWholeAtTheDefaultSizeInBothLanguages)
{
    const std::pair<const wchar_t*, const char*> expected[] = {
        {L"en", "Sandbox DVD-RW drive: not started, filter TrayGuard has no file"},
        {L"de", "Sandbox DVD-RW drive: nicht gestartet, Filter TrayGuard ohne Datei"}};
    for (auto [language, text] : expected) {
        for (DWORD dpi : {96u, 144u}) {
            const WindowSizes& sizes = At(language, dpi);
            EXPECT_EQ(sizes.texts.count("text1") ? sizes.texts.at("text1") : "<none>", text)
                << Narrow(language) << " at " << dpi;
            EXPECT_EQ(sizes("part1", 1), 0) << Narrow(language) << " at " << dpi << ":\n" << sizes.printed;
        }
    }
}

// Saved at 96 as 600 by 400 near the screen's bottom right corner: at 144 it is
// 900 by 600, which would run off the screen where it was; saved there, it is
// 600 by 400 again at 96. And a first start at 200 %, where the default size
// itself is wider than the screen.
TEST_F(HighDpi, APlacementSavedAt96OpensAsLargeForItsContentAndWhollyOnScreenAt144)
{
    ScratchMachine machine;
    ScratchAppData appData;
    const WindowSizes& normal = At(L"en", 96);
    const RECT work{normal("work", 0), normal("work", 1), normal("work", 2), normal("work", 3)};
    ASSERT_GE(work.right - work.left, 900);
    ASSERT_GE(work.bottom - work.top, 600);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    placement.showCmd = SW_SHOWNORMAL;
    placement.rcNormalPosition = RECT{work.right - 620, work.bottom - 420, work.right - 20, work.bottom - 20};
    CreateDirectoryW((appData.folder() + L"\\tolvern").c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStructW(L"quillmere", L"placement", &placement, sizeof(placement),
                                           appData.SettingsPath().c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"quillmere", L"dpi", L"96", appData.SettingsPath().c_str()));

    WindowSizes large = MeasureWindow(144, L"en");
    ASSERT_EQ(large("dpi"), 144);
    EXPECT_EQ(large("window", 2) - large("window", 0), 900);
    EXPECT_EQ(large("window", 3) - large("window", 1), 600);
    EXPECT_GE(large("window", 0), work.left);
    EXPECT_GE(large("window", 1), work.top);
    EXPECT_LE(large("window", 2), work.right);
    EXPECT_LE(large("window", 3), work.bottom);

    // That run saved its placement at 144; back at 96 it is 600 by 400 again.
    WindowSizes back = MeasureWindow(96, L"en");
    EXPECT_EQ(back("window", 0), large("window", 0));
    EXPECT_EQ(back("window", 2) - back("window", 0), 600);
    EXPECT_EQ(back("window", 3) - back("window", 1), 400);

    // With nothing saved, at 200 %: the template's size is wider than this screen.
    DeleteFileW(appData.SettingsPath().c_str());
    WindowSizes huge = MeasureWindow(192, L"en");
    ASSERT_EQ(huge("dpi"), 192);
    EXPECT_GE(huge("window", 0), work.left);
    EXPECT_GE(huge("window", 1), work.top);
    EXPECT_LE(huge("window", 2), work.right);
    EXPECT_LE(huge("window", 3), work.bottom);
}

// Wine shows every window at the one DPI it started with and never moves one to a
// monitor of another scaling, so the window's DPI comes from a stand-in and the
// message is sent as Windows sends it after such a move.
TEST(MonitorChange, TheWindowTakesTheSuggestedRectangleAndLaysEverythingOutAgainForTheNewDpi)
{
    ScratchAppData appData;
    ScratchMachine machine;
    WriteClassMultiSz(LowerFiltersValue, {L"QmGone"});
    static UINT monitorDpi = 96;
    SwappedSeam dpi(dpiCalls);
    dpiCalls.windowDpi = [](HWND) { return monitorDpi; };
    monitorDpi = 96;
    HWND dialog = CreateMainDialogModeless();
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, IDC_FILTER_LIST);
    HWND bar = GetDlgItem(dialog, IDC_STATUS_BAR);
    auto fontHeight = [](HGDIOBJ font) {
        LOGFONTW data{};
        return GetObjectW(font, sizeof(data), &data) ? std::abs(data.lfHeight) : -1;
    };
    auto listFont = [list] { return reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)); };
    auto pictureWidth = [list](int kind) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, kind, 0)), &cx, &cy);
        return cx;
    };
    auto statusPartFits = [bar] {
        RECT part{};
        SendMessageW(bar, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part));
        wchar_t text[256] = {};
        SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        HDC dc = GetDC(bar);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(bar, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
        SelectObject(dc, previous);
        ReleaseDC(bar, dc);
        return extent.cx <= part.right - part.left;
    };
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const RECT list96 = ControlRect(dialog, IDC_FILTER_LIST);
    const LRESULT description96 = SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0);
    const HGDIOBJ templateFont = listFont();
    const auto boxes96 = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
    const LONG height96 = fontHeight(templateFont);

    monitorDpi = 144;
    RECT suggested{frame.left + 10, frame.top + 10, frame.left + 10 + (frame.right - frame.left) * 3 / 2,
                   frame.top + 10 + (frame.bottom - frame.top) * 3 / 2};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT moved{};
    GetWindowRect(dialog, &moved);
    EXPECT_EQ(Describe(moved), Describe(suggested));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 150);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), RescaleForDpi(static_cast<int>(description96), 96, 144));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 150);
    EXPECT_EQ(pictureWidth(LVSIL_STATE), SystemMetricForDpi(SM_CXMENUCHECK, 144));
    EXPECT_EQ(pictureWidth(LVSIL_SMALL), SystemMetricForDpi(SM_CXSMICON, 144));
    EXPECT_EQ(ImageList_GetImageCount(boxes96), 0) << "the check boxes made for 96 DPI were not destroyed";
    // The template's 8 points, as a start at 144 DPI makes them.
    EXPECT_EQ(fontHeight(listFont()), MulDiv(8, 144, 72));
    EXPECT_EQ(fontHeight(GetPropW(list, L"font")), MulDiv(7, 144, 72)) << "the notice link's font";
    // The margins of the template, at the new DPI; the status bar at the bottom.
    RECT list144 = ControlRect(dialog, IDC_FILTER_LIST);
    RECT client = ClientRect(dialog);
    EXPECT_EQ(list144.left, RescaleForDpi(list96.left, 96, 144));
    EXPECT_EQ(list144.top, RescaleForDpi(list96.top, 96, 144));
    EXPECT_LT(list144.bottom, ControlRect(dialog, IDC_STATUS_BAR).top);
    EXPECT_EQ(ControlRect(dialog, IDC_STATUS_BAR).bottom, client.bottom);
    EXPECT_TRUE(statusPartFits());
    const HGDIOBJ font144 = listFont();

    // Back: everything as it was, the font made for 144 deleted, the template's kept.
    monitorDpi = 96;
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&frame));
    EXPECT_EQ(Describe(ControlRect(dialog, IDC_FILTER_LIST)), Describe(list96));
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 100);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), description96);
    EXPECT_EQ(fontHeight(listFont()), height96);
    EXPECT_EQ(GetObjectType(font144), 0u);
    EXPECT_NE(GetObjectType(templateFont), 0u);
    EXPECT_TRUE(statusPartFits());
    DestroyWindow(dialog);
}

} // namespace
