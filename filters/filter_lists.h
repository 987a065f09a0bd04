// A place that keeps filter lists: for each level, the list in force and the
// parking value its names wait in. The class key is one such place, a drive's own
// values another; park, restore and delete are written once, against this.
#pragma once

#include "filters/multi_sz.h"

#include <windows.h>

#include <initializer_list>
#include <span>

inline constexpr wchar_t LowerFiltersValue[] = L"LowerFilters";
inline constexpr wchar_t UpperFiltersValue[] = L"UpperFilters";
inline constexpr wchar_t LowerFiltersRemovedValue[] = L"LowerFiltersRemoved";
inline constexpr wchar_t UpperFiltersRemovedValue[] = L"UpperFiltersRemoved";
// The four value names by [level: 0 lower, 1 upper][0 parked, 1 active].
inline constexpr const wchar_t* FilterValueNames[2][2] = {{LowerFiltersRemovedValue, LowerFiltersValue},
                                                          {UpperFiltersRemovedValue, UpperFiltersValue}};

class FilterLists {
public:
    // ERROR_SUCCESS, or ERROR_FILE_NOT_FOUND for a list that is not there (it holds
    // no name), or why it could not be read.
    virtual DWORD Read(int level, bool active, MultiSzList* list) = 0;
    virtual DWORD Write(int level, bool active, const MultiSzList& list) = 0;

protected:
    ~FilterLists() = default;
};

// One list of a place.
struct FilterListSlot {
    int level;
    bool active;
};
inline constexpr FilterListSlot ActiveSlots[] = {{0, true}, {1, true}};
inline constexpr FilterListSlot AllSlots[] = {{0, true}, {1, true}, {0, false}, {1, false}};

// Whether a name stands in some lists: Unknown when none that could be read names
// it and one could not be read.
enum class Standing { Absent, Present, Unknown };
Standing NameStands(FilterLists& lists, const wchar_t* name, std::span<const FilterListSlot> slots);

// Moves every entry of `name` out of the level's list that `fromActive` picks and,
// only if one went, appends `name` once, spelled as passed, to the other list unless
// it lists it already. The target is written before the source, so a failed write
// can leave the name in both but never in neither. ERROR_SUCCESS when the move took
// effect or there was nothing to move.
DWORD MoveFilterName(FilterLists& lists, int level, const wchar_t* name, bool fromActive);

// Removes every entry of `name` from one list; ERROR_SUCCESS also when it held none
// or is not there. Writes nothing unless an entry matched.
DWORD RemoveFilterName(FilterLists& lists, int level, bool active, const wchar_t* name);

// Removes `name` from the level's list in force and from its parking list; both are
// tried, and the first failure is the answer.
DWORD DropFilterName(FilterLists& lists, int level, const wchar_t* name);

// A registry key's values as lists, named by a table like FilterValueNames.
class KeyFilterLists final : public FilterLists {
public:
    using Names = const wchar_t* const (*)[2];
    KeyFilterLists(HKEY key, Names names = FilterValueNames) : key_(key), names_(names) {}
    DWORD Read(int level, bool active, MultiSzList* list) override;
    DWORD Write(int level, bool active, const MultiSzList& list) override;

private:
    HKEY key_;
    Names names_;
};

// Removes every occurrence of `name` from `valueName`. Returns true when the value
// now holds no such entry: something was removed and written, or there was nothing
// to remove (also when the value does not exist). On failure the thread's last
// error holds the registry's code.
bool RemoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* valueName);

// MoveFilterName between two values of `key`: from `fromValue` to `toValue`
// (created when missing). True when the move took effect or there was nothing to
// move; on failure the thread's last error holds the registry's code.
bool MoveMultiSzEntry(HKEY key, const wchar_t* name, const wchar_t* fromValue, const wchar_t* toValue);
