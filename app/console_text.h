// Texts as the console companion prints them: one line for a management console,
// and JSON for a script.
#pragma once

#include <string>
#include <vector>

// The one-line summary is cut to this many characters.
inline constexpr size_t SummaryLength = 2048;

// The non-empty `parts`, with `separator` between them.
std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* separator);

// Names, descriptions and the system's texts may hold line breaks; a management
// console shows only the last line. `tabs` keeps the tabs that separate a list's columns.
std::wstring OneLine(std::wstring text, bool tabs = false);

// `text` cut to SummaryLength characters, with "…" where it was cut.
std::wstring CutSummary(std::wstring text);

// A JSON string, quotes included.
std::wstring JsonString(const std::wstring& text);
