// Surroundings the service tests arrange: a current directory with or without a
// descriptions file, the thread's language, driver files where image paths point.
#pragma once

#include <windows.h>

#include <string>

// While alive, the process works in an empty scratch folder of its own; the
// previous current directory comes back afterwards.
class ScratchCurrentDirectory {
public:
    ScratchCurrentDirectory();
    ~ScratchCurrentDirectory();
    ScratchCurrentDirectory(const ScratchCurrentDirectory&) = delete;
    ScratchCurrentDirectory& operator=(const ScratchCurrentDirectory&) = delete;

    const std::wstring& path() const { return path_; }
    // Writes descriptions.ini into the folder, as UTF-16 with byte-order mark so
    // that any text survives.
    void WriteDescriptions(const std::wstring& iniText) const;
    void RemoveDescriptions() const;

private:
    std::wstring previous_;
    std::wstring path_;
};

// While alive, the calling thread runs with the given language's locale.
class ThreadLanguage {
public:
    explicit ThreadLanguage(LANGID language);
    ~ThreadLanguage();
    ThreadLanguage(const ThreadLanguage&) = delete;
    ThreadLanguage& operator=(const ThreadLanguage&) = delete;

private:
    LCID previous_;
};

// Copies a driver-like file built next to the tests to %SystemRoot%\<folder>\<name>
// and returns the path as a driver service configures it (\SystemRoot\...).
std::wstring PlaceDriverFile(const std::wstring& builtName, const std::wstring& folder, const std::wstring& name);
// Removes %SystemRoot%\<folder> with the files placed there.
void RemoveDriverFolder(const std::wstring& folder);
