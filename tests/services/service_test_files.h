// Surroundings the service tests arrange: a current directory with or without a
// descriptions file, the thread's language, driver files where image paths point.
#pragma once

#include "support/scratch_folder.h"

#include <windows.h>

#include <string>

// Writes descriptions.ini into the scratch current directory, as UTF-16 with
// byte-order mark so that any text survives.
void WriteDescriptions(const ScratchCurrentDirectory& directory, const std::wstring& iniText);

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
