#include "filters/filter_lists.h"

namespace {

// A list that is not there holds nothing.
DWORD ReadOrEmpty(FilterLists& lists, int level, bool active, MultiSzList* list)
{
    *list = MultiSzList{};
    DWORD status = lists.Read(level, active, list);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Failures carry their status as the thread's last error for the caller.
bool Succeeded(DWORD status)
{
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

} // namespace

Standing NameStands(FilterLists& lists, const wchar_t* name, std::span<const FilterListSlot> slots)
{
    bool unknown = false;
    for (const FilterListSlot& slot : slots) {
        MultiSzList list;
        if (ReadOrEmpty(lists, slot.level, slot.active, &list) != ERROR_SUCCESS) {
            unknown = true;
            continue;
        }
        if (MultiSzListsName(list.entries, name))
            return Standing::Present;
    }
    return unknown ? Standing::Unknown : Standing::Absent;
}

DWORD MoveFilterName(FilterLists& lists, int level, const wchar_t* name, bool fromActive)
{
    MultiSzList source;
    DWORD status = ReadOrEmpty(lists, level, fromActive, &source);
    if (status != ERROR_SUCCESS || RemoveMatchingEntries(source, name) == 0)
        return status;
    // Only a missing target counts as empty; one that cannot be read must not be
    // overwritten with the moved name alone.
    MultiSzList target;
    if ((status = ReadOrEmpty(lists, level, !fromActive, &target)) != ERROR_SUCCESS)
        return status;
    // A move that half failed earlier may have left the name in the target already.
    if (!MultiSzListsName(target.entries, name)) {
        target.entries.emplace_back(name);
        if ((status = lists.Write(level, !fromActive, target)) != ERROR_SUCCESS)
            return status;
    }
    return lists.Write(level, fromActive, source);
}

DWORD RemoveFilterName(FilterLists& lists, int level, bool active, const wchar_t* name)
{
    MultiSzList list;
    DWORD status = ReadOrEmpty(lists, level, active, &list);
    if (status != ERROR_SUCCESS || RemoveMatchingEntries(list, name) == 0)
        return status;
    return lists.Write(level, active, list);
}

DWORD DropFilterName(FilterLists& lists, int level, const wchar_t* name)
{
    DWORD active = RemoveFilterName(lists, level, true, name);
    DWORD parked = RemoveFilterName(lists, level, false, name);
    return active != ERROR_SUCCESS ? active : parked;
}

DWORD KeyFilterLists::Read(int level, bool active, MultiSzList* list)
{
    return static_cast<DWORD>(ReadMultiSzValue(key_, names_[level][active], *list));
}

DWORD KeyFilterLists::Write(int level, bool active, const MultiSzList& list)
{
    return static_cast<DWORD>(WriteMultiSzValue(key_, names_[level][active], list));
}

bool RemoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* valueName)
{
    const wchar_t* const names[1][2] = {{valueName, valueName}};
    KeyFilterLists lists(key, names);
    return Succeeded(RemoveFilterName(lists, 0, true, name));
}

bool MoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* fromValue, const wchar_t* toValue)
{
    const wchar_t* const names[1][2] = {{toValue, fromValue}};
    KeyFilterLists lists(key, names);
    return Succeeded(MoveFilterName(lists, 0, name, true));
}
