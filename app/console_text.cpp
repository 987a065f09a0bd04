#include "app/console_text.h"

#include <windows.h>

#include <cwchar>

std::wstring Join(const std::vector<std::wstring>& parts, const wchar_t* separator)
{
    std::wstring text;
    for (const std::wstring& part : parts) {
        if (part.empty())
            continue;
        if (!text.empty())
            text += separator;
        text += part;
    }
    return text;
}

std::wstring OneLine(std::wstring text, bool tabs)
{
    for (wchar_t& c : text)
        if ((c < L' ' && !(tabs && c == L'\t')) || c == 0x7F)
            c = L' ';
    return text;
}

std::wstring CutSummary(std::wstring text)
{
    if (text.size() <= SummaryLength)
        return text;
    size_t keep = SummaryLength - 1;
    if (IS_HIGH_SURROGATE(text[keep - 1]))
        --keep;
    text.resize(keep);
    return text + L"\x2026";
}

// A surrogate without its partner cannot be written as UTF-8, so it goes escaped,
// as control characters do.
std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            out += c;
            out += text[++i];
        } else if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < L' ' || IS_HIGH_SURROGATE(c) || IS_LOW_SURROGATE(c)) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L'"';
}
