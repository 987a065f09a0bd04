#include "tests/services/service_test_files.h"

#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::wstring SystemRootFolder(const std::wstring& folder)
{
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root) + L"\\" + folder;
}

void RemoveFolderWithFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

ScratchCurrentDirectory::ScratchCurrentDirectory()
{
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    previous_ = buffer;
    GetTempPathW(MAX_PATH, buffer);
    path_ = std::wstring(buffer) + L"qm_services_cwd";
    RemoveFolderWithFiles(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
    EXPECT_TRUE(SetCurrentDirectoryW(path_.c_str())) << Narrow(path_);
}

ScratchCurrentDirectory::~ScratchCurrentDirectory()
{
    SetCurrentDirectoryW(previous_.c_str());
    RemoveFolderWithFiles(path_);
}

void ScratchCurrentDirectory::WriteDescriptions(const std::wstring& iniText) const
{
    std::wstring content = L"\xFEFF" + iniText;
    HANDLE file = CreateFileW((path_ + L"\\descriptions.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    DWORD bytes = static_cast<DWORD>(content.size() * sizeof(wchar_t));
    BOOL ok = WriteFile(file, content.data(), bytes, &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes);
}

void ScratchCurrentDirectory::RemoveDescriptions() const
{
    DeleteFileW((path_ + L"\\descriptions.ini").c_str());
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
    RemoveFolderWithFiles(SystemRootFolder(folder));
}
