// What a console command prints, and how it reaches the console or a pipe.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Exit codes: nothing (left) to repair or done, something to repair, cannot tell or failed.
inline constexpr int ConsoleClean = 0;
inline constexpr int ConsoleRepairable = 1;
inline constexpr int ConsoleFailed = 2;

// A command's lines, then its summary.
struct Outcome {
    int code = ConsoleClean;
    std::vector<std::wstring> lines;
    std::wstring summary;
    bool json = false; // the summary is JSON, kept whole
};

Outcome Failed(const std::wstring& summary);

// Appends the outcome's lines and its summary to `output`, each as one line ending
// in "\n"; the summary cut to its length unless it is JSON.
void Print(const Outcome& outcome, std::wstring* output);

// Writes `text` to `handle`: as UTF-16 to a console, as UTF-8 to a pipe or file.
void WriteConsoleText(HANDLE handle, const std::wstring& text);
