#include "filters/multi_sz.h"

#include "filters/store_calls.h"

#include <algorithm>
#include <cstring>

MultiSzList ParseMultiSz(const BYTE* data, size_t size)
{
    MultiSzList list;
    size_t chars = size / sizeof(wchar_t);
    size_t pos = 0;
    while (pos < chars) {
        size_t start = pos;
        wchar_t c = 0;
        while (pos < chars) {
            std::memcpy(&c, data + pos * sizeof(wchar_t), sizeof(wchar_t));
            if (c == L'\0')
                break;
            ++pos;
        }
        if (pos == start) {
            // The closing empty entry: what follows is not part of the list.
            size_t tailStart = (pos + 1) * sizeof(wchar_t);
            size_t tailEnd = chars * sizeof(wchar_t);
            if (tailStart < tailEnd)
                list.tail.assign(data + tailStart, data + tailEnd);
            return list;
        }
        std::wstring entry(pos - start, L'\0');
        std::memcpy(entry.data(), data + start * sizeof(wchar_t), entry.size() * sizeof(wchar_t));
        list.entries.push_back(std::move(entry));
        ++pos; // past the entry's NUL, or past the end when it had none
    }
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
    std::vector<BYTE> data;
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        LSTATUS status = filterStoreCalls.queryValue(key, valueName, nullptr, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        data.assign(size, 0);
        status = filterStoreCalls.queryValue(key, valueName, nullptr, nullptr, data.data(), &size);
        if (status == ERROR_MORE_DATA)
            continue; // grew between the two queries
        if (status != ERROR_SUCCESS)
            return status;
        list = ParseMultiSz(data.data(), std::min<size_t>(size, data.size()));
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LSTATUS WriteMultiSzValue(HKEY key, const wchar_t* valueName, const MultiSzList& list)
{
    std::vector<BYTE> data = SerializeMultiSz(list);
    return filterStoreCalls.setValue(key, valueName, 0, REG_MULTI_SZ, data.data(), static_cast<DWORD>(data.size()));
}

namespace {

// Failures carry their registry status as the thread's last error for the caller.
bool Failed(LSTATUS status)
{
    SetLastError(static_cast<DWORD>(status));
    return false;
}

} // namespace

bool RemoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* valueName)
{
    MultiSzList list;
    LSTATUS status = ReadMultiSzValue(key, valueName, list);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS)
        return Failed(status);
    if (RemoveMatchingEntries(list, name) == 0)
        return true;
    status = WriteMultiSzValue(key, valueName, list);
    return status == ERROR_SUCCESS || Failed(status);
}

bool MoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* fromValue, const wchar_t* toValue)
{
    MultiSzList source;
    LSTATUS status = ReadMultiSzValue(key, fromValue, source);
    if (status == ERROR_FILE_NOT_FOUND)
        return true;
    if (status != ERROR_SUCCESS)
        return Failed(status);
    if (RemoveMatchingEntries(source, name) == 0)
        return true;

    // Only a missing target counts as empty; one that cannot be read must not be
    // overwritten with the moved name alone.
    MultiSzList target;
    status = ReadMultiSzValue(key, toValue, target);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return Failed(status);
    // A move that half failed earlier may have left the name in the target already.
    if (!MultiSzListsName(target.entries, name)) {
        target.entries.emplace_back(name);
        status = WriteMultiSzValue(key, toValue, target);
        if (status != ERROR_SUCCESS)
            return Failed(status);
    }
    status = WriteMultiSzValue(key, fromValue, source);
    return status == ERROR_SUCCESS || Failed(status);
}
