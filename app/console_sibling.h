// The 64-bit companion that the 32-bit one hands every command to on 64-bit
// Windows, where a 32-bit program may not restart devices and sees some files
// redirected.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline constexpr wchar_t SiblingFileName[] = L"quillmere-cli-64bit.exe";

// The sibling in this program's own folder; empty when the folder's path does not fit.
std::wstring SiblingPath();

// The command line that hands `arguments` to `program`, each quoted as the C
// runtime's parser reads it back.
std::wstring SiblingCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

// Runs `program` with `arguments` on this process's own standard handles and waits
// for it; false when it cannot be started, else its exit code is in `exitCode`.
bool RunSiblingProgram(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode);
