#include "filters/device_classes.h"

#include "base/handles.h"
#include "base/sized_read.h"
#include "filters/filter_lists.h"
#include "filters/multi_sz.h"
#include "filters/windows_filters.h"

#include <objbase.h>

#include <algorithm>
#include <iterator>

namespace {

std::wstring TextValue(HKEY key, const wchar_t* value)
{
    std::vector<BYTE> data(UsualAnswerBytes);
    DWORD got = 0;
    DWORD type = 0;
    DWORD status = ReadSized(data, &got, ERROR_MORE_DATA, [&](BYTE* bytes, DWORD* size) {
        return static_cast<DWORD>(RegQueryValueExW(key, value, nullptr, &type, bytes, size));
    });
    return status == ERROR_SUCCESS && type == REG_SZ ? TextOf(data, got) : std::wstring();
}

// The record of the class whose key is `subkey`; the CD/DVD class as the program
// knows it, where it is that one.
DeviceClass ClassOf(HKEY key, const wchar_t* subkey, const GUID& guid)
{
    if (IsEqualGUID(guid, CdromClass().guid))
        return CdromClass();
    DeviceClass found;
    found.guid = guid;
    found.key = subkey;
    found.className = TextValue(key, L"Class");
    found.name = found.className.empty() ? found.key : found.className;
    found.critical = IsCriticalClass(guid);
    return found;
}

} // namespace

void ForEachClassKey(const Machine& machine, const std::function<void(HKEY, const wchar_t*, const GUID&)>& visit)
{
    UniqueKey classes;
    if (RegOpenKeyExW(machine.root, MachinePath(machine, L"Control\\Class").c_str(), 0, KEY_READ, classes.put()) !=
        ERROR_SUCCESS)
        return;
    wchar_t subkey[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(subkey));
        if (RegEnumKeyExW(classes.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        GUID guid{};
        UniqueKey key;
        if (CLSIDFromString(subkey, &guid) != NOERROR ||
            RegOpenKeyExW(classes.get(), subkey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            continue;
        visit(key.get(), subkey, guid);
    }
}

ClassLookup FindDeviceClass(const Machine& machine, const std::wstring& nameOrGuid, DeviceClass* found,
                            std::vector<std::wstring>* others)
{
    others->clear();
    GUID wanted{};
    bool byGuid = !nameOrGuid.empty() && nameOrGuid[0] == L'{' && CLSIDFromString(nameOrGuid.c_str(), &wanted) == NOERROR;
    ForEachClassKey(machine, [&](HKEY key, const wchar_t* subkey, const GUID& guid) {
        DeviceClass candidate = ClassOf(key, subkey, guid);
        bool named = byGuid ? IsEqualGUID(guid, wanted) : MultiSzNamesMatch(candidate.className.c_str(), nameOrGuid.c_str());
        if (!named)
            return;
        if (others->empty())
            *found = candidate;
        others->push_back(subkey);
    });
    if (others->empty())
        return ClassLookup::Unknown;
    return others->size() == 1 ? ClassLookup::Found : ClassLookup::Ambiguous;
}

std::vector<DeviceClass> ClassesWithFilters(const Machine& machine, const std::vector<GUID>& alsoGuids)
{
    std::vector<DeviceClass> classes;
    ForEachClassKey(machine, [&](HKEY key, const wchar_t* subkey, const GUID& guid) {
        KeyFilterLists lists(key);
        bool listed = std::any_of(std::begin(AllSlots), std::end(AllSlots), [&](const FilterListSlot& slot) {
            MultiSzList list;
            return lists.Read(slot.level, slot.active, &list) != ERROR_FILE_NOT_FOUND;
        });
        bool asked = std::any_of(alsoGuids.begin(), alsoGuids.end(),
                                 [&](const GUID& also) { return IsEqualGUID(also, guid); });
        if (listed || asked)
            classes.push_back(ClassOf(key, subkey, guid));
    });
    return classes;
}
