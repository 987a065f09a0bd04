#include "tests/services/service_test_files.h"

#include "support/wine_tools.h"

#include <gtest/gtest.h>

namespace {

std::wstring SystemRootFolder(const std::wstring& folder)
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root) + L"\\" + folder;
}

} // namespace

void WriteDescriptions(const ScratchCurrentDirectory& directory, const std::wstring& iniText)
{
    ASSERT_TRUE(directory.entered()) << Narrow(directory.path());
    std::wstring content = L"\xFEFF" + iniText;
    ASSERT_TRUE(directory.Write(L"descriptions.ini", content.data(), content.size() * sizeof(wchar_t)));
}

ThreadLanguage::ThreadLanguage(LANGID language) : previous_(GetThreadLocale())
{
    EXPECT_TRUE(SetThreadLocale(MAKELCID(language, SORT_DEFAULT)));
}

ThreadLanguage::~ThreadLanguage()
{
    SetThreadLocale(previous_);
}

std::wstring PlaceDriverFile(const std::wstring& builtName, const std::wstring& folder, const std::wstring& name)
{
    std::wstring target = SystemRootFolder(folder);
    CreateDirectoryW(target.c_str(), nullptr);
    std::wstring source = PathBesideTestProgram(builtName);
    EXPECT_TRUE(CopyFileW(source.c_str(), (target + L"\\" + name).c_str(), FALSE))
        << Narrow(source) << ": " << GetLastError();
    return L"\\SystemRoot\\" + folder + L"\\" + name;
}

void RemoveDriverFolder(const std::wstring& folder)
{
    RemoveFolderTree(SystemRootFolder(folder));
}
