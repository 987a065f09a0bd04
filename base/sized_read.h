// The one size-then-fill loop for the platform's variable-size answers (registry
// values, device properties): asked again with room for what the last answer said
// it needs, since the data may grow between two calls.
// The walk over list text read that way is here too, for every floor that reads one.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// `query(data, &size)` is called with the buffer and its size in bytes; it answers
// ERROR_SUCCESS with `size` set to the bytes written, or `tooSmall` with the size it
// needs, or another failure. A success for a null `data` is a size answer, unless
// the size is 0 (an empty result). `buffer` keeps its size between calls, so that a
// reused one costs no allocation; `got` says how much of it the result holds.
template <typename Query>
DWORD ReadSized(std::vector<BYTE>& buffer, DWORD* got, DWORD tooSmall, Query query)
{
    *got = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        BYTE* data = buffer.empty() ? nullptr : buffer.data();
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD status = query(data, &size);
        if (status == ERROR_SUCCESS && (data || size == 0)) {
            *got = std::min<DWORD>(size, static_cast<DWORD>(buffer.size()));
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS && status != tooSmall)
            return status;
        // Room for what it asked, and never less than one more character than
        // before, for a call that does not say what it needs.
        buffer.resize(std::max<size_t>(size, buffer.size() + sizeof(wchar_t)));
    }
    return tooSmall;
}

// Room for what most answers hold, so that most reads take one call.
inline constexpr size_t UsualAnswerBytes = 512;

// The text of the first `got` bytes of `buffer`, up to its first NUL; the result of a
// text read need not end in one.
inline std::wstring TextOf(const std::vector<BYTE>& buffer, DWORD got)
{
    const auto* text = reinterpret_cast<const wchar_t*>(buffer.data());
    size_t chars = std::min<size_t>(got, buffer.size()) / sizeof(wchar_t);
    size_t length = 0;
    while (length < chars && text[length] != L'\0')
        ++length;
    return std::wstring(text, length);
}

// Calls `visit(entry, length)` with each entry of `chars` characters of list
// text, up to the first empty one, which is what the system reads. Returns the
// position just past that empty entry, or `chars` where there is none.
template <typename Visit>
size_t VisitMultiSz(const wchar_t* text, size_t chars, Visit visit)
{
    for (size_t pos = 0; pos < chars; ++pos) {
        size_t start = pos;
        while (pos < chars && text[pos] != L'\0')
            ++pos;
        if (pos == start)
            return pos + 1;
        visit(text + start, pos - start);
    }
    return chars;
}
