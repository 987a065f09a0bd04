// The resources as the program carries them, read back from the test program's
// own resource section (it is built from the same script) language by language,
// so that a text or id that is right in one language and wrong in the other shows.
#include "base/handles.h"
#include "res/resource.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr LANGID English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID German = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

ResourceBytes FindResourceBytes(const wchar_t* type, const wchar_t* name, LANGID language)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, found)};
}

// The string `id` of exactly one language's table; nullopt when that language has
// no such string. (LoadStringW picks the language itself, so it cannot show this.)
std::optional<std::wstring> StringInLanguage(UINT id, LANGID language)
{
    ResourceBytes block = FindResourceBytes(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!block.data)
        return std::nullopt;
    const WCHAR* p = reinterpret_cast<const WCHAR*>(block.data);
    for (UINT index = 0; index < id % 16; ++index)
        p += 1 + *p;
    if (*p == 0)
        return std::nullopt;
    return std::wstring(p + 1, *p);
}

struct StringRow {
    UINT id;
    const wchar_t* english;
    const wchar_t* german;
};

const StringRow Strings[] = {
    {101, L"LowerFilters Driver", L"LowerFilters-Treiber"},
    {102, L"UpperFilters Driver", L"UpperFilters-Treiber"},
    {103, L"Name", L"Name"},
    {104, L"Description", L"Beschreibung"},
    {105, L"State", L"Status"},
    {106, L"Stopped", L"Beendet"},
    {107, L"Starting", L"Wird gestartet"},
    {108, L"Stopping", L"Wird beendet"},
    {109, L"Started", L"Gestartet"},
    {110, L"Continue", L"Fortsetzen"},
    {111, L"Pausing", L"Wird angehalten"},
    {112, L"Paused", L"Angehalten"},
    {113, L"Not found", L"Nicht gefunden"},
    {114, L"Quillmere", L"Quillmere"},
    {115, L"Are you really want to remove the filter driver \"%1\"?",
     L"Soll der Filtertreiber \"%1\" wirklich gelöscht werden?"},
    {116, L"Delete Filter Driver", L"Filtertreiber löschen"},
    {117, L"Please wait a moment. There is an operation currently in progress which may take some time.",
     L"Bitte warten Sie einen Moment. Es wird gerade eine Operation ausgeführt die möglicherweise etwas "
     L"länger andauern kann."},
    {118, L"Operation in progress", L"Operation wird ausgeführt"},
    {119, L"DVD-CD-ROM diver is running", L"DVD/CD-ROM Treiber wurde geladen"},
    {120, L"DVD/CD-ROM driver is not running", L"DVD/CD-ROM Treiber wurde nicht geladen"},
    {121, L"OK", L"OK"},
    {122, L"Cancel", L"Abbrechen"},
    {123, L"Properties", L"Eigenschaften"},
    {124, L"Vendor", L"Hersteller"},
    {125, L"Unknown", L"Unbekannt"},
    {126, L"Version", L"Version"},
    {127, L"Driver state", L"Treiberstatus"},
};

TEST(StringTables, EveryIdHasItsTextInBothLanguages)
{
    for (const StringRow& row : Strings) {
        SCOPED_TRACE(::testing::Message() << "string " << row.id);
        EXPECT_EQ(StringInLanguage(row.id, English).value_or(L"<missing>"), row.english);
        EXPECT_EQ(StringInLanguage(row.id, German).value_or(L"<missing>"), row.german);
    }
}

TEST(StringTables, NothingOutsideTheUsedRangeAndStateTextsByArithmetic)
{
    for (LANGID language : {English, German}) {
        EXPECT_FALSE(StringInLanguage(100, language).has_value());
        EXPECT_FALSE(StringInLanguage(IDS_LAST + 1, language).has_value());
        EXPECT_FALSE(StringInLanguage(IDS_CLI_CLASS_LAST + 1, language).has_value());
    }
    // The program's own texts beyond the table exist in both languages, each in its own words.
    std::vector<UINT> ids;
    for (UINT id = IDS_CHANGE_FAILED + 1; id <= IDS_LAST; ++id)
        ids.push_back(id);
    // The short meanings of the problem codes a filter can cause.
    for (UINT code : {10, 19, 22, 24, 28, 31, 32, 37, 39, 41, 45})
        ids.push_back(IDS_DRIVE_PROBLEM_BASE + code);
    // The console companion's texts for device classes, after the problem codes.
    for (UINT id = IDS_CLI_CLASS_FIRST; id <= IDS_CLI_CLASS_LAST; ++id)
        ids.push_back(id);
    for (UINT id : ids) {
        SCOPED_TRACE(::testing::Message() << "string " << id);
        std::wstring english = StringInLanguage(id, English).value_or(L"");
        EXPECT_FALSE(english.empty());
        EXPECT_NE(StringInLanguage(id, German).value_or(english), english);
    }
    // The one text beyond the table: the report of filters whose change did not take.
    EXPECT_EQ(StringInLanguage(IDS_CHANGE_FAILED, English).value_or(L""),
              L"The following filter drivers could not be changed:\n\n%1\n%2");
    EXPECT_EQ(StringInLanguage(IDS_CHANGE_FAILED, German).value_or(L""),
              L"Die folgenden Filtertreiber konnten nicht ge\u00e4ndert werden:\n\n%1\n%2");
    // The state text of a service is string 105 + state; 8 is a missing service.
    EXPECT_EQ(StringInLanguage(IDS_STATE_BASE + 4, English).value_or(L""), L"Started");
    EXPECT_EQ(StringInLanguage(IDS_STATE_BASE + 8, German).value_or(L""), L"Nicht gefunden");
}

// One menu entry: a popup carries its items, a separator has id 0 and no text.
struct MenuEntry {
    std::wstring text;
    UINT id = 0;
    bool grey = false;
    bool separator = false;
    std::vector<MenuEntry> items;
};

std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> entries;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[256] = L"";
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 256;
        GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
        MenuEntry entry;
        entry.text = text;
        entry.separator = (info.fType & MFT_SEPARATOR) != 0;
        entry.grey = (info.fState & MFS_GRAYED) != 0;
        if (info.hSubMenu)
            entry.items = ReadMenu(info.hSubMenu);
        else
            entry.id = info.wID;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<MenuEntry> LoadMenuInLanguage(UINT id, LANGID language)
{
    ResourceBytes bytes = FindResourceBytes(RT_MENU, MAKEINTRESOURCEW(id), language);
    if (!bytes.data)
        return {};
    UniqueMenu menu(LoadMenuIndirectW(bytes.data));
    return menu ? ReadMenu(menu.get()) : std::vector<MenuEntry>{};
}

MenuEntry Item(const wchar_t* text, UINT id, bool grey = false)
{
    MenuEntry entry;
    entry.text = text;
    entry.id = id;
    entry.grey = grey;
    return entry;
}
MenuEntry Separator()
{
    MenuEntry entry;
    entry.separator = true;
    return entry;
}
MenuEntry Popup(const wchar_t* text, std::vector<MenuEntry> items, bool grey = false)
{
    MenuEntry entry;
    entry.text = text;
    entry.grey = grey;
    entry.items = std::move(items);
    return entry;
}

std::string Describe(const std::vector<MenuEntry>& entries, int depth = 0)
{
    std::string out;
    for (const MenuEntry& entry : entries) {
        out += std::string(static_cast<size_t>(depth) * 2, ' ');
        if (entry.separator) {
            out += "----\n";
            continue;
        }
        out.append("\"").append(Utf8(entry.text)).append("\"");
        if (entry.items.empty())
            out.append(" ").append(std::to_string(entry.id));
        if (entry.grey)
            out += " grey";
        out.append("\n").append(Describe(entry.items, depth + 1));
    }
    return out;
}

TEST(Menus, MainMenuInEnglish)
{
    std::vector<MenuEntry> expected = {
        Popup(L"&File", {Item(L"&Load configuration", 40034, true), Item(L"&Save configuration", 40035, true),
                         Separator(), Item(L"&Delete settings", 40030), Separator(), Item(L"&Exit", 40028)}),
        Popup(L"&Filter", {Item(L"&Fix problems automatically", 40037),
                           Popup(L"&Driver", {Item(L"&Activate", 40049), Item(L"&Deactivate", 40050), Separator(),
                                              Item(L"&Reconfigure", 40051)})}),
        Popup(L"&Help", {Item(L"&About", 40021)}, true),
    };
    EXPECT_EQ(Describe(LoadMenuInLanguage(IDR_MAIN_MENU, English)), Describe(expected));
}

TEST(Menus, MainMenuInGermanHasItsOwnLoadAndSaveIds)
{
    std::vector<MenuEntry> expected = {
        Popup(L"&Datei",
              {Item(L"Konfiguration &laden", 40032, true), Item(L"Konfiguration &speichern", 40033, true),
               Separator(), Item(L"&Einstellungen löschen", 40030), Separator(), Item(L"&Beenden", 40028)}),
        Popup(L"&Filter", {Item(L"&Probleme automatisch beheben", 40037),
                           Popup(L"&Treiber", {Item(L"&Aktivieren", 40049), Item(L"&Deaktivieren", 40050),
                                               Separator(), Item(L"Neu &konfigurieren", 40051)})}),
        Popup(L"?", {Item(L"&Über", 40021)}, true),
    };
    EXPECT_EQ(Describe(LoadMenuInLanguage(IDR_MAIN_MENU, German)), Describe(expected));
}

TEST(Menus, ItemContextMenuInBothLanguages)
{
    std::vector<MenuEntry> english = {Popup(
        L"Item", {Item(L"&Deactivate", 40014), Item(L"&Activate", 40015), Item(L"&Delete", 40016), Separator(),
                  Item(L"&Start driver", 40042, true), Item(L"Sto&p driver", 40010, true),
                  Item(L"&Restart driver", 40011, true), Separator(), Item(L"&Properties", 40017)})};
    std::vector<MenuEntry> german = {Popup(
        L"Item", {Item(L"&Deaktivieren", 40014), Item(L"&Aktivieren", 40015), Item(L"&Löschen", 40016),
                  Separator(), Item(L"Treiber &starten", 40042, true), Item(L"Treiber &beenden", 40010, true),
                  Item(L"Treiber &neu starten", 40011, true), Separator(), Item(L"&Eigenschaften", 40017)})};
    EXPECT_EQ(Describe(LoadMenuInLanguage(IDR_ITEM_MENU, English)), Describe(english));
    EXPECT_EQ(Describe(LoadMenuInLanguage(IDR_ITEM_MENU, German)), Describe(german));
}

// An extended dialog template, read field by field.
struct TemplateControl {
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    bool extended = false;
    DWORD exStyle = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD menu = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<TemplateControl> controls;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : p_(data) {}
    WORD Word() { WORD v; std::memcpy(&v, p_, 2); p_ += 2; return v; }
    DWORD Dword() { DWORD v; std::memcpy(&v, p_, 4); p_ += 4; return v; }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *p_++; }
    std::wstring String()
    {
        std::wstring s;
        for (WORD c = Word(); c != 0; c = Word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal; ordinals come back as "#n".
    std::wstring NameOrOrdinal()
    {
        WORD first = Word();
        if (first == 0)
            return {};
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring s(1, static_cast<wchar_t>(first));
        for (WORD c = Word(); c != 0; c = Word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    void AlignDword(const BYTE* base) { p_ += (4 - ((p_ - base) & 3)) & 3; }
    void Skip(size_t bytes) { p_ += bytes; }

private:
    const BYTE* p_;
};

std::wstring ClassName(std::wstring name)
{
    // Predefined classes may be stored by ordinal.
    if (name == L"#128")
        return L"button";
    if (name == L"#130")
        return L"static";
    CharLowerW(name.data());
    return name;
}

DialogTemplate ReadDialogTemplate(UINT id)
{
    DialogTemplate result;
    ResourceBytes bytes = FindResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!bytes.data)
        return result;
    TemplateReader reader(bytes.data);
    WORD version = reader.Word();
    WORD signature = reader.Word();
    result.extended = version == 1 && signature == 0xFFFF;
    if (!result.extended)
        return result;
    reader.Dword(); // help id
    result.exStyle = reader.Dword();
    result.style = reader.Dword();
    WORD count = reader.Word();
    result.x = reader.Short();
    result.y = reader.Short();
    result.cx = reader.Short();
    result.cy = reader.Short();
    std::wstring menu = reader.NameOrOrdinal();
    if (!menu.empty() && menu[0] == L'#')
        result.menu = static_cast<WORD>(std::stoi(menu.substr(1)));
    reader.NameOrOrdinal(); // window class
    result.caption = reader.String();
    if (result.style & DS_SETFONT) {
        result.pointSize = reader.Word();
        reader.Word(); // weight
        reader.Byte(); // italic
        reader.Byte(); // charset
        result.font = reader.String();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignDword(bytes.data);
        TemplateControl control;
        reader.Dword(); // help id
        control.exStyle = reader.Dword();
        control.style = reader.Dword();
        control.x = reader.Short();
        control.y = reader.Short();
        control.cx = reader.Short();
        control.cy = reader.Short();
        control.id = static_cast<int>(reader.Dword());
        control.className = ClassName(reader.NameOrOrdinal());
        control.text = reader.NameOrOrdinal();
        reader.Skip(reader.Word());
        result.controls.push_back(control);
    }
    return result;
}

struct ExpectedControl {
    int id;
    const wchar_t* className;
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
    const wchar_t* text;
};

void ExpectShellFontTemplate(const DialogTemplate& dialog, short cx, short cy, DWORD style, DWORD exStyle,
                             const wchar_t* caption)
{
    ASSERT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.cx, cx);
    EXPECT_EQ(dialog.cy, cy);
    EXPECT_EQ(dialog.style, style | DS_SHELLFONT);
    EXPECT_EQ(dialog.exStyle, exStyle);
    EXPECT_EQ(dialog.caption, caption);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");
}

void ExpectControls(const DialogTemplate& dialog, const std::vector<ExpectedControl>& expected)
{
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TemplateControl& actual = dialog.controls[i];
        const ExpectedControl& want = expected[i];
        SCOPED_TRACE(::testing::Message() << "control " << want.id);
        EXPECT_EQ(actual.id, want.id);
        EXPECT_EQ(actual.className, want.className);
        EXPECT_EQ(actual.x, want.x);
        EXPECT_EQ(actual.y, want.y);
        EXPECT_EQ(actual.cx, want.cx);
        EXPECT_EQ(actual.cy, want.cy);
        EXPECT_EQ(actual.style, want.style) << std::hex << actual.style << " vs " << want.style;
        EXPECT_EQ(actual.exStyle, want.exStyle);
        EXPECT_EQ(actual.text, want.text);
    }
}

constexpr DWORD Child = WS_CHILD | WS_VISIBLE;
// What a resource script's LTEXT stands for.
constexpr DWORD LeftText = Child | SS_LEFT | WS_GROUP;

TEST(DialogTemplates, MainWindow)
{
    DialogTemplate dialog = ReadDialogTemplate(IDD_MAIN);
    ExpectShellFontTemplate(dialog, 420, 185,
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0,
                            L"...");
    EXPECT_EQ(dialog.menu, IDR_MAIN_MENU);
    ExpectControls(dialog,
                   {{IDC_FILTER_LIST, L"syslistview32", 4, 4, 412, 164,
                     Child | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT,
                     0, L""},
                    {IDC_STATUS_BAR, L"msctls_statusbar32", 4, 172, 412, 13, Child | WS_TABSTOP | SBARS_SIZEGRIP, 0,
                     L""}});
}

TEST(DialogTemplates, PropertiesDialog)
{
    DialogTemplate dialog = ReadDialogTemplate(IDD_PROPERTIES);
    ExpectShellFontTemplate(dialog, 205, 90, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 0,
                            L"Properties");
    ExpectControls(dialog, {{IDOK, L"button", 148, 69, 50, 14, Child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, L"OK"},
                            {IDC_VENDOR_LABEL, L"static", 7, 7, 62, 8, LeftText, 0, L"Vendor"},
                            {IDC_VENDOR_VALUE, L"static", 69, 7, 129, 8, LeftText, 0, L"..."},
                            {IDC_VERSION_LABEL, L"static", 7, 17, 62, 8, LeftText, 0, L"Version"},
                            {IDC_VERSION_VALUE, L"static", 69, 17, 129, 8, LeftText, 0, L"..."},
                            {IDC_STATE_LABEL, L"static", 7, 28, 62, 8, LeftText, 0, L"Driver state"},
                            {IDC_STATE_VALUE, L"static", 69, 28, 129, 8, LeftText, 0, L"..."},
                            {IDC_DESCRIPTION_LABEL, L"static", 7, 38, 62, 8, LeftText, 0, L"Description"},
                            {IDC_DESCRIPTION_VALUE, L"static", 69, 38, 129, 22, LeftText, 0, L"..."}});
}

TEST(DialogTemplates, ProgressWindowHasNoSystemMenu)
{
    DialogTemplate dialog = ReadDialogTemplate(IDD_PROGRESS);
    ExpectShellFontTemplate(dialog, 255, 44,
                            WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SYSMODAL | DS_SETFOREGROUND | DS_CENTER,
                            WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Working...");
    ExpectControls(dialog,
                   {{IDC_PROGRESS_ICON, L"static", 227, 20, 21, 20, Child | SS_ICON | SS_CENTERIMAGE | SS_REALSIZEIMAGE,
                     WS_EX_TRANSPARENT, L""},
                    {IDC_PROGRESS_TEXT, L"static", 7, 20, 217, 17, LeftText, 0, L"Operation is currently in progress..."},
                    {IDC_PROGRESS_HEADING, L"static", 7, 7, 222, 8, LeftText, 0, L"Operation in progress"},
                    {IDC_STATIC, L"static", 8, 16, 241, 1, Child | SS_ETCHEDHORZ, 0, L""}});
}

// The sizes a group icon offers, each with its colour depth.
std::vector<std::pair<int, int>> IconSizes(UINT id)
{
    std::vector<std::pair<int, int>> sizes;
    ResourceBytes group = FindResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!group.data || group.size < 6)
        return sizes;
    WORD count;
    std::memcpy(&count, group.data + 4, 2);
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= group.size; ++i) {
        const BYTE* entry = group.data + 6 + 14 * i;
        int width = entry[0] == 0 ? 256 : entry[0];
        WORD bits;
        std::memcpy(&bits, entry + 6, 2);
        sizes.emplace_back(width, bits);
    }
    return sizes;
}

// The pixel data of an icon at one size, to tell frames apart.
std::vector<BYTE> IconImageBytes(UINT id)
{
    ResourceBytes group = FindResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!group.data || group.size < 20)
        return {};
    WORD imageId;
    std::memcpy(&imageId, group.data + 6 + 12, 2);
    ResourceBytes image = FindResourceBytes(RT_ICON, MAKEINTRESOURCEW(imageId), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    return image.data ? std::vector<BYTE>(image.data, image.data + image.size) : std::vector<BYTE>{};
}

TEST(Icons, SizesAndColourDepth)
{
    using Sizes = std::vector<std::pair<int, int>>;
    EXPECT_EQ(IconSizes(IDI_APPLICATION_ICON), (Sizes{{16, 32}, {32, 32}}));
    EXPECT_EQ(IconSizes(IDI_SERVICE_RUNNING), (Sizes{{16, 32}}));
    EXPECT_EQ(IconSizes(IDI_SERVICE_NOT_RUNNING), (Sizes{{16, 32}}));
    EXPECT_EQ(IconSizes(IDI_WATERMARK), (Sizes{{128, 32}}));
    for (UINT id = IDI_PROGRESS_FIRST; id <= IDI_PROGRESS_LAST; ++id)
        EXPECT_EQ(IconSizes(id), (Sizes{{16, 32}})) << "frame " << id;
}

TEST(Icons, EveryIconLoadsAndTheTurningFramesDiffer)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (UINT id : {IDI_APPLICATION_ICON, IDI_SERVICE_RUNNING, IDI_SERVICE_NOT_RUNNING}) {
        UniqueIcon icon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0)));
        EXPECT_TRUE(icon) << "icon " << id;
    }
    UniqueIcon watermark(
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_WATERMARK), IMAGE_ICON, 128, 128, 0)));
    EXPECT_TRUE(watermark);
    std::vector<std::vector<BYTE>> frames;
    for (UINT id = IDI_PROGRESS_FIRST; id <= IDI_PROGRESS_LAST; ++id) {
        UniqueIcon icon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0)));
        EXPECT_TRUE(icon) << "frame " << id;
        frames.push_back(IconImageBytes(id));
        ASSERT_FALSE(frames.back().empty());
    }
    // Each turning frame shows a different step of the turn.
    for (size_t a = 1; a < frames.size(); ++a)
        for (size_t b = a + 1; b < frames.size(); ++b)
            EXPECT_NE(frames[a], frames[b]) << "frames " << IDI_PROGRESS_FIRST + a << " and " << IDI_PROGRESS_FIRST + b;
}

std::optional<std::wstring> VersionString(const std::vector<BYTE>& block, const wchar_t* name)
{
    std::wstring path = std::wstring(L"\\StringFileInfo\\040704b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || value == nullptr)
        return std::nullopt;
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(VersionResource, GermanUnicodeBlockWithOwnCopyrightAndNoCompany)
{
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(LOWORD(*translation), 0x0407);
    EXPECT_EQ(HIWORD(*translation), 1200);

    EXPECT_EQ(VersionString(block, L"FileDescription").value_or(L""), L"Quillmere");
    EXPECT_EQ(VersionString(block, L"FileVersion").value_or(L""), L"1, 0, 0, 0");
    EXPECT_EQ(VersionString(block, L"ProductVersion").value_or(L""), L"1, 0, 0, 0");
    EXPECT_FALSE(VersionString(block, L"Comments").value_or(L"").empty());
    std::wstring copyright = VersionString(block, L"LegalCopyright").value_or(L"");
    EXPECT_NE(copyright.find(L"Quillmere"), std::wstring::npos) << Utf8(copyright);
    EXPECT_FALSE(VersionString(block, L"CompanyName").has_value());
}

TEST(Manifest, CommonControlsSixAsInvokerForThisArchitecture)
{
    ResourceBytes bytes = FindResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(bytes.data, nullptr);
    std::string manifest(reinterpret_cast<const char*>(bytes.data), bytes.size);
    EXPECT_NE(manifest.find("name=\"Tolvern.Quillmere\" version=\"1.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<description>Quillmere</description>"), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    const char* architecture = sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
    EXPECT_NE(manifest.find(architecture), std::string::npos);

    // The manifest is in force: the common controls come from the side-by-side
    // store's version 6 assembly, not from the system folder's older library.
    InitCommonControls();
    wchar_t controls[MAX_PATH] = L"";
    ASSERT_GT(GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), controls, MAX_PATH), 0u);
    CharLowerW(controls);
    EXPECT_NE(std::wstring(controls).find(L"common-controls_6595b64144ccf1df_6."), std::wstring::npos)
        << Utf8(controls);
}

// Without both declarations Windows draws the window at 96 DPI and stretches it:
// the older element for Windows 8.1 and early 10, the newer for 1607 and later.
// Windows reads them only inside application/windowsSettings, each in its own
// namespace; Wine reads neither, so the file is all there is to check.
TEST(Manifest, DeclaresPerMonitorDpiAwarenessWhereWindowsLooksForIt)
{
    ResourceBytes bytes = FindResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_NE(bytes.data, nullptr);
    std::string manifest(reinterpret_cast<const char*>(bytes.data), bytes.size);
    const size_t settings = manifest.find("<windowsSettings>");
    const size_t settingsEnd = manifest.find("</windowsSettings>");
    ASSERT_NE(settings, std::string::npos);
    ASSERT_NE(settingsEnd, std::string::npos);
    size_t application = manifest.rfind("<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">", settings);
    EXPECT_NE(application, std::string::npos) << "windowsSettings outside an asm.v3 application element";
    for (const char* element :
         {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
          "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>"}) {
        size_t at = manifest.find(element);
        EXPECT_TRUE(at != std::string::npos && settings < at && at < settingsEnd) << element;
    }
}

} // namespace
