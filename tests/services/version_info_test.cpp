// Reading single strings from version resources: the driver-like files built next
// to this test, the test program itself, and files Wine ships in the prefix.
#include "base/system_library.h"
#include "services/service_info.h"
#include "services/version_info.h"
#include "support/wine_tools.h"
#include "tests/services/service_test_files.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kUntouched[] = L"caller's text";

struct Reading {
    bool found;
    std::wstring text;
};

Reading Read(const wchar_t* path, const wchar_t* key)
{
    wchar_t out[DisplayTextLength];
    lstrcpynW(out, kUntouched, static_cast<int>(DisplayTextLength));
    bool found = ReadVersionString(path, key, out);
    return {found, out};
}

Reading Read(const std::wstring& path, const wchar_t* key)
{
    return Read(path.c_str(), key);
}

std::wstring SystemFile(const wchar_t* name)
{
    wchar_t directory[MAX_PATH] = {};
    GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory) + L"\\" + name;
}

TEST(ReadVersionString, ReadsTheStringsADriverCarries)
{
    std::wstring driver = PathBesideTestProgram(L"qm_version_full.sys");
    Reading vendor = Read(driver, L"CompanyName");
    EXPECT_TRUE(vendor.found);
    EXPECT_EQ(vendor.text, L"Example Test Drivers Ltd");
    EXPECT_EQ(Read(driver, L"FileVersion").text, L"2.5.0.17 (test)");
    EXPECT_EQ(Read(driver, L"FileDescription").text, L"Quillmere test filter driver");
}

TEST(ReadVersionString, AnEmptyValueIsFoundAndAMissingOneEmptiesTheBuffer)
{
    std::wstring driver = PathBesideTestProgram(L"qm_version_full.sys");
    Reading empty = Read(driver, L"Comments");
    EXPECT_TRUE(empty.found);
    EXPECT_EQ(empty.text, L"");

    Reading missing = Read(driver, L"LegalTrademarks");
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.text, L"");
}

TEST(ReadVersionString, ALongValueIsCutAndStaysTerminated)
{
    wchar_t out[DisplayTextLength + 1];
    std::wmemset(out, L'#', DisplayTextLength + 1);
    ASSERT_TRUE(ReadVersionString(PathBesideTestProgram(L"qm_version_full.sys").c_str(), L"PrivateBuild", out));
    EXPECT_EQ(std::wcslen(out), DisplayTextLength - 1);
    EXPECT_EQ(std::wstring(out, 10), L"0123456789");
    EXPECT_EQ(out[DisplayTextLength], L'#') << "wrote past the caller's buffer";
}

TEST(ReadVersionString, OnlyTheFirstTranslationEntryChoosesTheTable)
{
    std::wstring driver = PathBesideTestProgram(L"qm_version_second_entry.sys");
    EXPECT_EQ(Read(driver, L"CompanyName").text, L"First entry's vendor");
    Reading description = Read(driver, L"FileDescription");
    EXPECT_FALSE(description.found);
    EXPECT_EQ(description.text, L"");
}

TEST(ReadVersionString, WithoutTranslationTableTheDefaultTableIsSearched)
{
    std::wstring driver = PathBesideTestProgram(L"qm_version_no_translation.sys");
    Reading description = Read(driver, L"FileDescription");
    EXPECT_TRUE(description.found);
    EXPECT_EQ(description.text, L"Driver without translation table");
    // Present, but only under a table that nothing points to.
    EXPECT_FALSE(Read(driver, L"CompanyName").found);
}

TEST(ReadVersionString, NoPathMeansTheProgramsOwnFile)
{
    Reading notice = Read(nullptr, L"LegalCopyright");
    EXPECT_TRUE(notice.found);
    EXPECT_EQ(notice.text, L"\u00a9 2026 The Quillmere developers");
    Reading vendor = Read(nullptr, L"CompanyName");
    EXPECT_FALSE(vendor.found);
    EXPECT_EQ(vendor.text, L"");
}

TEST(ReadVersionString, FilesWithoutResourceOrNamingNothingLeaveTheBufferAlone)
{
    for (const std::wstring& path :
         {PathBesideTestProgram(L"..\\qm_demo_service.exe"), SystemFile(L"drivers\\mountmgr.sys"),
          PathBesideTestProgram(L"no_such_driver.sys"), std::wstring()}) {
        Reading reading = Read(path, L"FileDescription");
        EXPECT_FALSE(reading.found) << Narrow(path);
        EXPECT_EQ(reading.text, kUntouched) << Narrow(path);
    }
}

TEST(ReadVersionString, APathLongerThanItsBufferIsRefused)
{
    // Padded with ".\\" to the longest path that fits; one more character makes
    // a name that does not exist, and a cut copy would open the real file.
    std::wstring directory = PathBesideTestProgram(L"");
    std::wstring name = L"qm_version_full.sys";
    std::wstring fits = directory;
    while (fits.size() + name.size() < PathLength - 1)
        fits += (PathLength - 1 - fits.size() - name.size()) % 2 ? L"\\" : L".\\";
    fits += name;
    ASSERT_EQ(fits.size(), PathLength - 1);
    EXPECT_TRUE(Read(fits, L"CompanyName").found);

    Reading reading = Read(fits + L"x", L"CompanyName");
    EXPECT_FALSE(reading.found);
    EXPECT_EQ(reading.text, kUntouched);
}

TEST(ReadVersionString, ReadsWhatWineWroteIntoItsOwnFiles)
{
    std::wstring kernel = SystemFile(L"kernel32.dll");
    Reading description = Read(kernel, L"FileDescription");
    ASSERT_TRUE(description.found);
    EXPECT_NE(description.text.find(L"Wine"), std::wstring::npos) << Narrow(description.text);
    Reading version = Read(kernel, L"FileVersion");
    EXPECT_TRUE(version.found);
    EXPECT_NE(version.text.find(L'.'), std::wstring::npos) << Narrow(version.text);
}

// Stands in for a 32-bit process on 64-bit Windows in either build, recording how
// the redirection is switched.
struct Wow64StandIn {
    static inline std::vector<std::wstring> switches;
    static inline bool wow64 = true;
    static bool Answer() { return wow64; }
    static BOOL WINAPI Disable(void** previous)
    {
        *previous = &switches;
        switches.push_back(L"off");
        return TRUE;
    }
    static BOOL WINAPI Revert(void* previous)
    {
        switches.push_back(previous == &switches ? L"on" : L"on with a stranger's token");
        return TRUE;
    }

    SwappedSeam<Wow64Calls> seam{wow64Calls, {Answer, Disable, Revert}};
    Wow64StandIn() { switches.clear(); }
};

TEST(ReadVersionString, OnlyADriverFileIsReadPastTheRedirectionWhichComesBackOnEveryPath)
{
    Wow64StandIn standIn;
    wchar_t out[DisplayTextLength] = {};
    const std::wstring driver = PathBesideTestProgram(L"qm_version_full.sys");
    EXPECT_TRUE(ReadDriverVersionString(driver.c_str(), L"CompanyName", out));
    EXPECT_FALSE(ReadDriverVersionString(PathBesideTestProgram(L"no_such_driver.sys").c_str(), L"CompanyName", out));
    EXPECT_EQ(standIn.switches, (std::vector<std::wstring>{L"off", L"on", L"off", L"on"}));

    // The program's own file and other files keep the process's normal view, and
    // so does every read on a system that redirects nothing.
    standIn.switches.clear();
    EXPECT_TRUE(ReadVersionString(driver.c_str(), L"CompanyName", out));
    EXPECT_TRUE(ReadVersionString(nullptr, L"LegalCopyright", out));
    Wow64StandIn::wow64 = false;
    EXPECT_TRUE(ReadDriverVersionString(driver.c_str(), L"CompanyName", out));
    Wow64StandIn::wow64 = true;
    EXPECT_TRUE(standIn.switches.empty());
}

} // namespace
