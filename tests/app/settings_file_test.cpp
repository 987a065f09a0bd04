// The settings file across runs of the real main dialog: what a run leaves in
// the file (read from disk without the profile functions) and what the next run
// makes of it (values written as text, encoded here).
#include "main_dialog_runner.h"

#include "app/anchors.h"
#include "app/settings_file.h"
#include "base/product.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// Every byte as two upper-case hex digits, then the low byte of their sum.
std::wstring EncodePlacement(const WINDOWPLACEMENT& placement)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&placement);
    std::wstring text;
    unsigned sum = 0;
    wchar_t digits[3];
    for (size_t i = 0; i < sizeof(placement); ++i) {
        swprintf(digits, 3, L"%02X", bytes[i]);
        text += digits;
        sum += bytes[i];
    }
    swprintf(digits, 3, L"%02X", sum & 0xFF);
    return text + digits;
}

std::optional<WINDOWPLACEMENT> DecodePlacement(const std::wstring& text)
{
    if (text.size() != 90)
        return std::nullopt;
    BYTE bytes[45];
    unsigned sum = 0;
    for (size_t i = 0; i < 45; ++i) {
        wchar_t pair[3] = {text[2 * i], text[2 * i + 1], 0};
        if (!iswxdigit(pair[0]) || !iswxdigit(pair[1]) || iswlower(pair[0]) || iswlower(pair[1]))
            return std::nullopt;
        bytes[i] = static_cast<BYTE>(wcstoul(pair, nullptr, 16));
        if (i < 44)
            sum += bytes[i];
    }
    if ((sum & 0xFF) != bytes[44])
        return std::nullopt;
    WINDOWPLACEMENT placement;
    std::memcpy(&placement, bytes, sizeof(placement));
    return placement;
}

std::optional<std::wstring> IniValue(const std::wstring& path, const wchar_t* key)
{
    for (const IniEntry& entry : ReadIniSection(path, L"quillmere"))
        if (lstrcmpiW(entry.key.c_str(), key) == 0)
            return entry.value;
    return std::nullopt;
}

std::optional<WINDOWPLACEMENT> SavedPlacement(const std::wstring& path)
{
    std::optional<std::wstring> value = IniValue(path, L"placement");
    return value ? DecodePlacement(*value) : std::nullopt;
}

void WritePlacementText(const ScratchAppData& appData, const std::wstring& text)
{
    CreateDirectoryW((appData.folder() + L"\\tolvern").c_str(), nullptr);
    ASSERT_TRUE(WritePrivateProfileStringW(L"quillmere", L"placement", text.c_str(), appData.SettingsPath().c_str()));
}

WINDOWPLACEMENT Placement(UINT showCmd, RECT normal)
{
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    placement.showCmd = showCmd;
    placement.ptMinPosition = POINT{-1, -1};
    placement.ptMaxPosition = POINT{-1, -1};
    placement.rcNormalPosition = normal;
    return placement;
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// Where and how large the window opens with no settings at all.
RECT TemplateWindowRect()
{
    ScratchAppData appData;
    RECT rect{};
    RunMainDialog({[&](HWND dialog) {
        rect = WindowRect(dialog);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    return rect;
}

DialogStep Close()
{
    return [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); };
}

TEST(SettingsFile, FirstRunOpensAtTemplateAndLeavesAllThreeKeys)
{
    ScratchAppData appData;
    RECT opened{};
    DialogRun run = RunMainDialog({[&](HWND dialog) {
        opened = WindowRect(dialog);
        EXPECT_FALSE(FileExists(appData.folder() + L"\\tolvern")) << "nothing is written before the end";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    ASSERT_EQ(run.result, 2);

    EXPECT_EQ(IniValue(appData.SettingsPath(), L"description").value_or(L"<none>"), L"Quillmere");
    EXPECT_EQ(IniValue(appData.SettingsPath(), L"url").value_or(L"<none>"), ProductPageAddress);
    std::optional<std::wstring> text = IniValue(appData.SettingsPath(), L"placement");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->size(), 90u);
    std::optional<WINDOWPLACEMENT> placement = DecodePlacement(*text);
    ASSERT_TRUE(placement.has_value()) << "not 45 upper-case hex bytes with a matching checksum";
    EXPECT_EQ(placement->length, sizeof(WINDOWPLACEMENT));
    EXPECT_EQ(placement->showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(Describe(placement->rcNormalPosition), Describe(opened));
}

TEST(SettingsFile, SavedPlacementIsLaidOutAgainstTheTemplateGeometry)
{
    RECT templateRect = TemplateWindowRect();
    ScratchAppData appData;
    // 100 wider and 50 taller than the template, elsewhere on the screen.
    RECT saved{30, 40, 30 + templateRect.right - templateRect.left + 100,
               40 + templateRect.bottom - templateRect.top + 50};
    WritePlacementText(appData, EncodePlacement(Placement(SW_SHOWNORMAL, saved)));
    // As in a fresh process: earlier runs of this one must not have left a capture
    // that would hide a late one.
    for (AnchorEntry* entry = AnchorTable; entry->controlId != 0; ++entry) {
        entry->controlRect = RECT{};
        entry->initialClientWidth = 0;
        entry->initialClientHeight = 0;
    }

    RECT opened{}, list{}, status{}, client{}, templateList{4, 4, 412, 164};
    std::wstring titleAtRestore;
    RunMainDialog({[&](HWND dialog) {
        opened = WindowRect(dialog);
        list = ControlRect(dialog, IDC_FILTER_LIST);
        status = ControlRect(dialog, IDC_STATUS_BAR);
        client = ClientRect(dialog);
        MapDialogRect(dialog, &templateList);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    EXPECT_EQ(Describe(opened), Describe(saved));
    // Laid out against the template's geometry, so the list has grown with the
    // window; captured after the restore it would still be the template's size.
    EXPECT_EQ(list.left, templateList.left);
    EXPECT_EQ(list.top, templateList.top);
    EXPECT_EQ(list.right - list.left, templateList.right + 100);
    EXPECT_EQ(list.bottom - list.top, templateList.bottom + 50);
    EXPECT_EQ(status.bottom, client.bottom);
}

// The saved show state is taken while the window initialises. The next run is a
// modeless instance of the same dialog: under Wine, the modal dialog loop shows
// every dialog with SW_SHOWNORMAL the first time its queue runs empty, which
// restores a maximised or minimised window whatever its initialisation did.
TEST(SettingsFile, MaximisedRunSavesItsNormalRectAndTheNextOpensMaximised)
{
    RECT templateRect = TemplateWindowRect();
    ScratchAppData appData;
    RECT normal{50, 60, 50 + templateRect.right - templateRect.left + 40,
                60 + templateRect.bottom - templateRect.top + 20};
    RunMainDialog({[&](HWND dialog) {
        SetWindowPos(dialog, nullptr, normal.left, normal.top, normal.right - normal.left, normal.bottom - normal.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(dialog, SW_MAXIMIZE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    std::optional<WINDOWPLACEMENT> saved = SavedPlacement(appData.SettingsPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->showCmd, static_cast<UINT>(SW_SHOWMAXIMIZED));
    EXPECT_EQ(Describe(saved->rcNormalPosition), Describe(normal));

    HWND dialog = CreateMainDialogModeless();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsZoomed(dialog));
    RECT maximisedList = ControlRect(dialog, IDC_FILTER_LIST);
    RECT maximisedClient = ClientRect(dialog);
    ShowWindow(dialog, SW_RESTORE);
    RECT restored = WindowRect(dialog);
    RECT list = ControlRect(dialog, IDC_FILTER_LIST);
    RECT templateList{4, 4, 412, 164};
    MapDialogRect(dialog, &templateList);
    DestroyWindow(dialog);

    // Laid out for the maximised size, then for the normal one.
    const AnchorEntry& captured = AnchorTable[0];
    EXPECT_EQ(maximisedClient.right - maximisedList.right, captured.initialClientWidth - captured.controlRect.right);
    EXPECT_EQ(maximisedClient.bottom - maximisedList.bottom,
              captured.initialClientHeight - captured.controlRect.bottom);
    EXPECT_EQ(Describe(restored), Describe(normal));
    EXPECT_EQ(list.right - list.left, templateList.right + 40);
    EXPECT_EQ(list.bottom - list.top, templateList.bottom + 20);
}

TEST(SettingsFile, MinimisedRunOpensMinimisedNextTime)
{
    ScratchAppData appData;
    RunMainDialog({[](HWND dialog) {
        ShowWindow(dialog, SW_MINIMIZE);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    std::optional<WINDOWPLACEMENT> saved = SavedPlacement(appData.SettingsPath());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->showCmd, static_cast<UINT>(SW_SHOWMINIMIZED));

    HWND dialog = CreateMainDialogModeless();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsIconic(dialog));
    DestroyWindow(dialog);
}

TEST(SettingsFile, DamagedPlacementValuesAreIgnored)
{
    RECT templateRect = TemplateWindowRect();
    RECT elsewhere{10, 10, 10 + templateRect.right - templateRect.left + 200,
                   10 + templateRect.bottom - templateRect.top + 100};
    std::wstring good = EncodePlacement(Placement(SW_SHOWNORMAL, elsewhere));
    std::wstring badChecksum = good;
    badChecksum[89] = badChecksum[89] == L'0' ? L'1' : L'0';
    std::wstring badLengthField = EncodePlacement([&] {
        WINDOWPLACEMENT placement = Placement(SW_SHOWNORMAL, elsewhere);
        placement.length = 40; // with a checksum that matches
        return placement;
    }());
    struct Case {
        const char* what;
        std::wstring text;
    };
    for (const Case& damaged : {Case{"two digits short", good.substr(0, 88)}, Case{"two digits long", good + L"00"},
                                Case{"wrong checksum", badChecksum}, Case{"length field not 44", badLengthField},
                                Case{"empty", L""}, Case{"not hex", std::wstring(90, L'Z')}}) {
        SCOPED_TRACE(damaged.what);
        ScratchAppData appData;
        WritePlacementText(appData, damaged.text);
        RECT opened{};
        bool visible = false;
        RunMainDialog({[&](HWND dialog) {
            opened = WindowRect(dialog);
            visible = IsWindowVisible(dialog);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }});
        EXPECT_TRUE(visible);
        EXPECT_EQ(Describe(opened), Describe(templateRect));
    }
    // The undamaged value does move the window, so the cases above mean something.
    ScratchAppData appData;
    WritePlacementText(appData, good);
    RECT opened{};
    RunMainDialog({[&](HWND dialog) {
        opened = WindowRect(dialog);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }});
    EXPECT_EQ(Describe(opened), Describe(elsewhere));
}

// A placement from another DPI or another monitor: as large for its content as it
// was, and wholly within the work area it opens on.
TEST(PlaceOnScreen, SizeFollowsTheDpiAndTheWindowMovesOnlyAsFarAsItMust)
{
    const RECT work{0, 0, 1024, 738}; // a taskbar below
    struct Case {
        const char* what;
        RECT saved;
        UINT savedDpi, dpi;
        RECT expected;
    };
    const Case cases[] = {
        {"on screen, same DPI: as it was", {100, 50, 700, 450}, 96, 96, {100, 50, 700, 450}},
        {"saved at 96, at 144: half as large again", {100, 50, 500, 350}, 96, 144, {100, 50, 700, 500}},
        {"saved at 144, at 96: two thirds", {30, 30, 930, 630}, 144, 96, {30, 30, 630, 430}},
        {"grown past the right and bottom edges: moved back", {500, 400, 900, 700}, 96, 144, {424, 288, 1024, 738}},
        {"left of and above the area: moved in", {-300, -40, 300, 360}, 96, 96, {0, 0, 600, 400}},
        {"on a monitor that is gone: moved onto this one", {1500, 900, 2100, 1300}, 96, 96, {424, 338, 1024, 738}},
        {"larger than the area: as large as the area", {50, 50, 1050, 750}, 96, 144, {0, 0, 1024, 738}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(PlaceOnScreen(c.saved, c.savedDpi, c.dpi, work)), Describe(c.expected)) << c.what;
    // A work area that does not start at the origin: a second monitor to the left.
    EXPECT_EQ(Describe(PlaceOnScreen({-2000, 100, -1000, 700}, 96, 96, {-1280, 0, 0, 1024})),
              Describe(RECT{-1280, 100, -280, 700}));
}

TEST(SettingsFile, DeleteRemovesTheSectionAndTheEndOfTheRunWritesItAgain)
{
    ScratchAppData appData;
    RunMainDialog({Close()});
    ASSERT_TRUE(SectionPresent(appData.SettingsPath(), L"quillmere"));
    WritePrivateProfileStringW(L"other", L"kept", L"yes", appData.SettingsPath().c_str());

    bool goneAfterDelete = false;
    DialogRun run = RunMainDialog({[&](HWND dialog) {
                                       SendMessageW(dialog, WM_COMMAND, IDM_DELETE_SETTINGS, 0);
                                       goneAfterDelete = !SectionPresent(appData.SettingsPath(), L"quillmere");
                                   },
                                   Close()});
    EXPECT_EQ(run.stepsRun, 2u) << "Delete settings ended the dialog";
    EXPECT_TRUE(goneAfterDelete);
    EXPECT_TRUE(SavedPlacement(appData.SettingsPath()).has_value());
    EXPECT_TRUE(IniValue(appData.SettingsPath(), L"url").has_value());
    // Only the program's own section goes.
    bool otherSectionKept = false;
    for (const IniEntry& entry : ReadIniSection(appData.SettingsPath(), L"other"))
        otherSectionKept = otherSectionKept || entry.value == L"yes";
    EXPECT_TRUE(otherSectionKept);
}

TEST(SettingsFile, DeleteWithoutAFileCreatesNothing)
{
    ScratchAppData appData;
    DeleteSettings();
    EXPECT_FALSE(FileExists(appData.folder() + L"\\tolvern"));
    EXPECT_FALSE(FileExists(appData.SettingsPath()));
}

// Without a usable APPDATA the file goes to tolvern\settings.ini under the current
// directory, and is read back from there.
class CurrentDirectoryFile : public ::testing::Test {
protected:
    void ExpectRelativeFileRoundTrip()
    {
        std::wstring path = directory_.path() + L"\\tolvern\\settings.ini";
        RECT moved{};
        RunMainDialog({[&](HWND dialog) {
            SetWindowPos(dialog, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            moved = WindowRect(dialog);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }});
        ASSERT_TRUE(SavedPlacement(path).has_value()) << "no settings under the current directory";
        RECT opened{};
        RunMainDialog({[&](HWND dialog) {
            opened = WindowRect(dialog);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        }});
        EXPECT_EQ(Describe(opened), Describe(moved));
    }

    ScratchCurrentDirectory directory_{L"cwd"};
};

TEST_F(CurrentDirectoryFile, WhenAppDataIsNotSet)
{
    ScratchAppData appData;
    SetEnvironmentVariableW(L"APPDATA", nullptr);
    ExpectRelativeFileRoundTrip();
}

TEST_F(CurrentDirectoryFile, WhenAppDataIsTooLongForThePathBuffer)
{
    ScratchAppData appData;
    std::wstring tooLong = appData.folder() + L"\\" + std::wstring(300, L'a');
    SetEnvironmentVariableW(L"APPDATA", tooLong.c_str());
    ExpectRelativeFileRoundTrip();
}

} // namespace
