// Scratch folders under the temporary folder, for the tests and the benchmarks.
// Header only: the benchmarks link no test library.
#pragma once

#include <windows.h>

#include <string>

// Removes a folder with everything in it.
inline void RemoveFolderTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// While alive, an empty folder of its own lies in the temporary folder, named after
// `tag`, the process and a count, so that no two runs or objects share one; it goes
// with its content afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* tag)
    {
        static unsigned counter;
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"qm-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        RemoveFolderTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveFolderTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

    // Writes the folder's file `name` with exactly these bytes; false when it could not.
    bool Write(const wchar_t* name, const void* bytes, size_t size) const
    {
        HANDLE file = CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        BOOL ok = WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(file);
        return ok && written == size;
    }

private:
    std::wstring path_;
};

// While alive, the current directory is a scratch folder, where no descriptions
// file lies until one is written; the previous directory comes back first.
class ScratchCurrentDirectory : public ScratchFolder {
public:
    explicit ScratchCurrentDirectory(const wchar_t* tag) : ScratchFolder(tag)
    {
        wchar_t buffer[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, buffer);
        previous_ = buffer;
        entered_ = SetCurrentDirectoryW(path().c_str());
    }
    ~ScratchCurrentDirectory() { SetCurrentDirectoryW(previous_.c_str()); }

    bool entered() const { return entered_; }

private:
    std::wstring previous_;
    bool entered_ = false;
};
