// The console companion's commands, for the management tools that run scripts on
// many machines: each detects or repairs without a window, says so by its exit
// code, and ends with one short line that such a tool shows per machine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Exit codes: nothing (left) to repair or done, something to repair, cannot tell or failed.
inline constexpr int ConsoleClean = 0;
inline constexpr int ConsoleRepairable = 1;
inline constexpr int ConsoleFailed = 2;

// The one-line summary is cut to this many characters.
inline constexpr size_t SummaryLength = 2048;

// The 64-bit companion that the 32-bit one hands every command to on 64-bit Windows.
inline constexpr wchar_t SiblingFileName[] = L"quillmere-cli-64bit.exe";

// Runs one command (`arguments` without the program's name) in this process, with
// no window and no message box. Every line it prints is appended to `output`,
// each ending in "\n"; the last line is the summary (for `list --json`, the JSON).
// Returns the exit code.
int RunCommand(const std::vector<std::wstring>& arguments, std::wstring* output);

// The whole program: a 32-bit companion on 64-bit Windows hands the command to its
// 64-bit sibling beside it (which writes straight to this process's output) and
// passes its exit code on; otherwise, or when the sibling cannot be started (which
// the summary then says), RunCommand. Where the output is JSON, that note is
// appended to `errors` instead (a line ending in "\n"), for standard error.
int RunConsoleProgram(const std::vector<std::wstring>& arguments, std::wstring* output, std::wstring* errors);

// Writes `text` to `handle`: as UTF-16 to a console, as UTF-8 to a pipe or file.
void WriteConsoleText(HANDLE handle, const std::wstring& text);

// The calls a test replaces: whether this process may change the machine, and the
// run of the 64-bit sibling (false when it cannot be started; else its exit code).
struct ConsoleCalls {
    bool (*runningAsAdministrator)();
    bool (*runSibling)(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode);
};
extern ConsoleCalls consoleCalls;
