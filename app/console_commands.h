// The console companion's commands, for the management tools that run scripts on
// many machines: each detects or repairs without a window, says so by its exit
// code, and ends with one short line that such a tool shows per machine.
#pragma once

#include "app/console_output.h"
#include "app/console_sibling.h"
#include "app/console_text.h"

#include <windows.h>

#include <string>
#include <vector>

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

// The calls a test replaces: whether this process may change the machine, and the
// run of the 64-bit sibling (false when it cannot be started; else its exit code).
struct ConsoleCalls {
    bool (*runningAsAdministrator)();
    bool (*runSibling)(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD* exitCode);
};
extern ConsoleCalls consoleCalls;
