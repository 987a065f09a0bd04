#include "filters/multi_sz.h"

#include "base/sized_read.h"
#include "filters/store_calls.h"

#include <algorithm>
#include <cstring>

MultiSzList ParseMultiSz(const BYTE* data, size_t size)
{
    MultiSzList list;
    size_t chars = size / sizeof(wchar_t);
    // Copied as characters, since the bytes need not be aligned for them.
    std::wstring text(chars, L'\0');
    if (chars)
        std::memcpy(text.data(), data, chars * sizeof(wchar_t));
    size_t end = VisitMultiSz(text.data(), chars, [&list](const wchar_t* entry, size_t length) {
        list.entries.emplace_back(entry, length);
    });
    // What follows the closing empty entry is not part of the list, but kept.
    if (end < chars)
        list.tail.assign(data + end * sizeof(wchar_t), data + chars * sizeof(wchar_t));
    return list;
}

std::vector<BYTE> SerializeMultiSz(const MultiSzList& list)
{
    std::vector<BYTE> data;
    auto append = [&data](const wchar_t* text, size_t count) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
        data.insert(data.end(), bytes, bytes + count * sizeof(wchar_t));
    };
    static const wchar_t nul = L'\0';
    for (const std::wstring& entry : list.entries) {
        append(entry.c_str(), entry.size());
        append(&nul, 1);
    }
    append(&nul, 1);
    data.insert(data.end(), list.tail.begin(), list.tail.end());
    return data;
}

bool MultiSzNamesMatch(const wchar_t* entry, const wchar_t* name, int entryLength)
{
    return CompareStringOrdinal(entry, entryLength, name, -1, TRUE) == CSTR_EQUAL;
}

bool MultiSzListsName(const std::vector<std::wstring>& entries, const wchar_t* name)
{
    return std::any_of(entries.begin(), entries.end(),
                       [name](const std::wstring& entry) { return MultiSzNamesMatch(entry.c_str(), name); });
}

size_t RemoveMatchingEntries(MultiSzList& list, const wchar_t* name)
{
    size_t before = list.entries.size();
    std::erase_if(list.entries,
                  [name](const std::wstring& entry) { return MultiSzNamesMatch(entry.c_str(), name); });
    return before - list.entries.size();
}

LSTATUS ReadMultiSzValue(HKEY key, const wchar_t* valueName, MultiSzList& list)
{
    std::vector<BYTE> data(UsualAnswerBytes);
    DWORD got = 0;
    DWORD status = ReadSized(data, &got, ERROR_MORE_DATA, [&](BYTE* bytes, DWORD* size) {
        return static_cast<DWORD>(filterStoreCalls.queryValue(key, valueName, nullptr, nullptr, bytes, size));
    });
    if (status == ERROR_SUCCESS)
        list = ParseMultiSz(data.data(), got);
    return static_cast<LSTATUS>(status);
}

LSTATUS WriteMultiSzValue(HKEY key, const wchar_t* valueName, const MultiSzList& list)
{
    std::vector<BYTE> data = SerializeMultiSz(list);
    return filterStoreCalls.setValue(key, valueName, 0, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
}
