#include "filters/service_users.h"

#include "base/handles.h"
#include "base/registry_watch.h"
#include "base/sized_read.h"
#include "filters/filter_lists.h"
#include "filters/multi_sz.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <span>

namespace {

constexpr REGSAM ScanAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr DWORD KeyNameLength = 256; // the longest name a key may have, and its NUL

// One buffer for every value of a scan: a value of ordinary size is read in one
// call and costs no allocation. Enum may hold thousands of device keys.
class ValueBuffer {
public:
    // Whether `name` stands among the entries of the value (a list, or a single
    // text), as the system reads them: up to the first empty one.
    Standing Names(HKEY key, const wchar_t* value, const wchar_t* name)
    {
        bool named = false;
        bool read = Entries(key, value, [&](const wchar_t* entry, size_t length) {
            named = named || MultiSzNamesMatch(entry, name, static_cast<int>(length));
        });
        return !read ? Standing::Unknown : named ? Standing::Present : Standing::Absent;
    }

    // Calls `visit` with each entry of the value (a list, or a single text) up to
    // the first empty one. True when the value was read or does not exist.
    template <typename Visit>
    bool Entries(HKEY key, const wchar_t* value, Visit visit)
    {
        DWORD size = 0;
        LSTATUS status = Read(key, value, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return true;
        if (status != ERROR_SUCCESS)
            return false;
        VisitMultiSz(reinterpret_cast<const wchar_t*>(bytes_.data()), size / sizeof(wchar_t), visit);
        return true;
    }

    // A text value, empty when missing, unreadable or not a text.
    std::wstring Text(HKEY key, const wchar_t* value)
    {
        DWORD size = 0;
        DWORD type = 0;
        if (Read(key, value, &size, &type) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return {};
        return TextOf(bytes_, size);
    }

private:
    LSTATUS Read(HKEY key, const wchar_t* value, DWORD* size, DWORD* type = nullptr)
    {
        return static_cast<LSTATUS>(ReadSized(bytes_, size, ERROR_MORE_DATA, [&](BYTE* data, DWORD* bytes) {
            return static_cast<DWORD>(RegQueryValueExW(key, value, nullptr, type, data, bytes));
        }));
    }

    std::vector<BYTE> bytes_ = std::vector<BYTE>(2048);
};

ServiceUser ClassUserOf(ValueBuffer& buffer, HKEY classKey, const wchar_t* subkey)
{
    std::wstring description = buffer.Text(classKey, nullptr);
    if (description.empty())
        description = buffer.Text(classKey, L"Class");
    return {ServiceUser::Class, description.empty() ? subkey : description};
}

// Calls `visit` with each subkey name of `key`; false when the names could not be
// read to the end.
template <typename Visit>
bool ForEachSubkey(HKEY key, Visit visit)
{
    wchar_t subkey[KeyNameLength];
    for (DWORD index = 0;; ++index) {
        DWORD length = KeyNameLength;
        LSTATUS status = RegEnumKeyExW(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return true;
        if (status != ERROR_SUCCESS)
            return false;
        visit(subkey);
    }
}

void AddUnreadable(std::vector<ServiceUser>* users, std::wstring path)
{
    users->push_back({ServiceUser::Unreadable, std::move(path)});
}

// Opens a key of a scan. One that went away meanwhile names nothing; one that
// cannot be opened (or listed) may name the service, so it counts as a user, under
// the path `path` makes, only then.
template <typename Path>
bool OpenScanKey(HKEY parent, const wchar_t* subkey, REGSAM access, UniqueKey* key,
                 std::vector<ServiceUser>* unreadable, Path path)
{
    LSTATUS status = RegOpenKeyExW(parent, subkey, 0, access, key->put());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        AddUnreadable(unreadable, path());
    return status == ERROR_SUCCESS;
}

class Scan {
public:
    Scan(const Machine& machine, const wchar_t* name, std::vector<ServiceUser>* users)
        : machine_(machine), name_(name), users_(users)
    {
    }

    // The first answer that settles it: any value that names the service, else
    // any that could not be read.
    Standing NamedIn(HKEY key, std::span<const FilterListSlot> slots)
    {
        Standing found = Standing::Absent;
        for (const FilterListSlot& slot : slots) {
            Standing standing = buffer_.Names(key, FilterValueNames[slot.level][slot.active], name_);
            if (standing == Standing::Present)
                return standing;
            if (standing == Standing::Unknown)
                found = standing;
        }
        return found;
    }

    // Every class but `skipped`, whose own values are the caller's to judge.
    void Classes(const DeviceClass& skipped, bool parkingCounts)
    {
        std::wstring classRoot = MachinePath(machine_, L"Control\\Class");
        UniqueKey root;
        if (!OpenScanKey(machine_.root, classRoot.c_str(), ScanAccess, &root, users_, [&] { return classRoot; }))
            return;
        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* subkey) {
            if (MultiSzNamesMatch(subkey, skipped.key.c_str()))
                return;
            auto path = [&] { return classRoot + L"\\" + subkey; };
            UniqueKey key;
            if (!OpenScanKey(root.get(), subkey, KEY_QUERY_VALUE, &key, users_, path))
                return;
            Standing standing = NamedIn(key.get(), parkingCounts ? std::span<const FilterListSlot>(AllSlots)
                                                                 : std::span<const FilterListSlot>(ActiveSlots));
            if (standing == Standing::Unknown) {
                AddUnreadable(users_, path());
            } else if (standing == Standing::Present) {
                users_->push_back(ClassUserOf(buffer_, key.get(), subkey));
            }
        });
        if (!listed)
            AddUnreadable(users_, classRoot);
    }

    // The services that depend on it, directly or through others, as the machine
    // knows them; where it could not tell, its key may name any.
    void Dependents(const std::vector<std::wstring>* dependents)
    {
        if (!dependents) {
            AddUnreadable(users_, MachinePath(machine_, L"Services\\") + name_);
            return;
        }
        for (const std::wstring& dependent : *dependents)
            users_->push_back({ServiceUser::Dependent, dependent});
    }

private:
    const Machine& machine_;
    const wchar_t* name_;
    std::vector<ServiceUser>* users_;
    ValueBuffer buffer_;
};

// What the devices under Enum name, gathered in one walk and kept until the system
// reports a change anywhere under Enum: Enum holds every device the system has
// ever seen, thousands of keys on a machine in use, and a walk costs several
// registry calls for each. Used from one thread at a time.
class DeviceIndex {
public:
    // Adds the devices of `machine` that name `name` to `users`, and those that
    // keep it parked when `parkingCounts`, walking Enum again first when it may have
    // changed since the last walk, or is another machine's.
    void FindUsers(const Machine& machine, const wchar_t* name, bool parkingCounts, std::vector<ServiceUser>* users)
    {
        std::wstring enumRoot = MachinePath(machine, L"Enum");
        if (watch_.Changed(machine.root, enumRoot))
            Build(machine, enumRoot);
        users->insert(users->end(), unreadable_.begin(), unreadable_.end());
        std::vector<std::wstring> ids;
        for (const Names* names : {&named_, parkingCounts ? &parked_ : nullptr}) {
            auto found = names ? names->find(Folded(name)) : Names::const_iterator();
            if (!names || found == names->end())
                continue;
            for (const std::wstring& id : found->second)
                if (std::find(ids.begin(), ids.end(), id) == ids.end())
                    ids.push_back(id);
        }
        for (const std::wstring& id : ids) {
            // Read only for a user, so the walk reads no names it does not report.
            UniqueKey key;
            std::wstring friendly;
            if (RegOpenKeyExW(machine.root, (enumRoot + L"\\" + id).c_str(), 0, KEY_QUERY_VALUE, key.put()) ==
                ERROR_SUCCESS)
                friendly = buffer_.Text(key.get(), L"FriendlyName");
            users->push_back({ServiceUser::Device, friendly.empty() ? id : friendly});
        }
    }

private:
    static std::wstring Folded(std::wstring name)
    {
        if (!name.empty())
            CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
        return name;
    }

    void Build(const Machine& machine, const std::wstring& enumRoot)
    {
        named_.clear();
        parked_.clear();
        unreadable_.clear();
        // Where the system cannot tell of changes, nothing is kept: every lookup
        // walks anew. So it is for a loaded hive, which an open watch would keep
        // from being unloaded.
        if (machine.offline)
            watch_ = RegistryWatch();
        else
            watch_.Arm(machine.root, enumRoot);
        UniqueKey root;
        if (!OpenScanKey(machine.root, enumRoot.c_str(), ScanAccess, &root, &unreadable_, [&] { return enumRoot; }))
            return;

        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* enumerator) {
            auto enumeratorPath = [&] { return enumRoot + L"\\" + enumerator; };
            UniqueKey enumeratorKey;
            if (!OpenScanKey(root.get(), enumerator, ScanAccess, &enumeratorKey, &unreadable_, enumeratorPath))
                return;
            bool devices = ForEachSubkey(enumeratorKey.get(), [&](const wchar_t* device) {
                auto devicePath = [&] { return enumeratorPath() + L"\\" + device; };
                UniqueKey deviceKey;
                if (!OpenScanKey(enumeratorKey.get(), device, ScanAccess, &deviceKey, &unreadable_, devicePath))
                    return;
                bool instances = ForEachSubkey(deviceKey.get(), [&](const wchar_t* instance) {
                    AddInstance(enumRoot, deviceKey.get(), instance, [&] {
                        return std::wstring(enumerator) + L"\\" + device + L"\\" + instance;
                    });
                });
                if (!instances)
                    AddUnreadable(&unreadable_, devicePath());
            });
            if (!devices)
                AddUnreadable(&unreadable_, enumeratorPath());
        });
        if (!listed)
            AddUnreadable(&unreadable_, enumRoot);
    }

    // A device's own filters, its function driver, and the names parked from its own
    // filters in its Device Parameters key, which wait there to be restored even
    // while the device is not plugged in. `makeId` makes its instance id, only once
    // the id is stored.
    template <typename MakeId>
    void AddInstance(const std::wstring& enumRoot, HKEY deviceKey, const wchar_t* instance, MakeId makeId)
    {
        auto path = [&] { return enumRoot + L"\\" + makeId(); };
        UniqueKey key;
        if (!OpenScanKey(deviceKey, instance, KEY_QUERY_VALUE, &key, &unreadable_, path))
            return;
        std::wstring id;
        auto record = [&](Names& names, HKEY valuesKey, const wchar_t* value) {
            return buffer_.Entries(valuesKey, value, [&](const wchar_t* entry, size_t length) {
                if (id.empty())
                    id = makeId();
                std::vector<std::wstring>& ids = names[Folded(std::wstring(entry, length))];
                if (ids.empty() || ids.back() != id)
                    ids.push_back(id);
            });
        };
        for (const wchar_t* value : {UpperFiltersValue, LowerFiltersValue, L"Service"}) {
            if (!record(named_, key.get(), value)) {
                AddUnreadable(&unreadable_, path());
                return;
            }
        }
        UniqueKey parameters;
        auto parametersPath = [&] { return path() + L"\\Device Parameters"; };
        if (!OpenScanKey(key.get(), L"Device Parameters", KEY_QUERY_VALUE, &parameters, &unreadable_, parametersPath))
            return;
        for (int level = 0; level < 2; ++level) {
            if (!record(parked_, parameters.get(), FilterValueNames[level][0])) {
                AddUnreadable(&unreadable_, parametersPath());
                return;
            }
        }
    }

    RegistryWatch watch_;
    // Instance ids under each service name they give, in capitals: as their own
    // filters or function driver, and as names parked from their own filters.
    using Names = std::map<std::wstring, std::vector<std::wstring>>;
    Names named_;
    Names parked_;
    // Keys that could not be read: each may name any service.
    std::vector<ServiceUser> unreadable_;
    ValueBuffer buffer_;
};

DeviceIndex deviceIndex;

} // namespace

ServiceUser ClassUser(HKEY classKey, const wchar_t* fallback)
{
    ValueBuffer buffer;
    return ClassUserOf(buffer, classKey, fallback);
}

bool FindServiceUsers(const Machine& machine, const DeviceClass& deviceClass, const wchar_t* name, bool parkingCounts,
                      const std::vector<std::wstring>* dependents, std::vector<ServiceUser>* users)
{
    size_t before = users->size();
    Scan scan(machine, name, users);
    scan.Classes(deviceClass, parkingCounts);
    scan.Dependents(dependents);
    // Every device's own filters and function driver, from the index of Enum.
    deviceIndex.FindUsers(machine, name, parkingCounts, users);
    return users->size() > before;
}
