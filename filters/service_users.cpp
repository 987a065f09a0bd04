#include "filters/service_users.h"

#include "base/handles.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"

#include <iterator>
#include <map>
#include <span>

namespace {

// Spelled as the reported paths show it; the store's key spells it differently.
constexpr wchar_t ClassRoot[] = L"SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr wchar_t EnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum";
constexpr wchar_t ServicesRoot[] = L"SYSTEM\\CurrentControlSet\\Services";

constexpr bool IsParentKey(const wchar_t* parent, const wchar_t* key)
{
    auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
    for (; *parent; ++parent, ++key)
        if (upper(*parent) != upper(*key))
            return false;
    return *key == L'\\';
}
static_assert(IsParentKey(ClassRoot, FilterClassKey));

// The store's class: its own values are the store's to judge.
constexpr const wchar_t* StoreClass = FilterClassKey + std::size(ClassRoot);

constexpr REGSAM ScanAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr DWORD KeyNameLength = 256; // the longest name a key may have, and its NUL

enum class Naming { No, Yes, Unknown };

// One buffer for every value of a scan: a value of ordinary size is read in one
// call and costs no allocation. Enum may hold thousands of device keys.
class ValueBuffer {
public:
    // `name` among the entries of the value (a list, or a single text), as the
    // system reads them: up to the first empty one.
    Naming Names(HKEY key, const wchar_t* value, const wchar_t* name)
    {
        bool named = false;
        bool read = Entries(key, value, [&](const wchar_t* entry, size_t length) {
            named = named || MultiSzNamesMatch(entry, name, static_cast<int>(length));
        });
        return !read ? Naming::Unknown : named ? Naming::Yes : Naming::No;
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
        const wchar_t* text = reinterpret_cast<const wchar_t*>(bytes_.data());
        size_t chars = size / sizeof(wchar_t);
        for (size_t pos = 0; pos < chars; ++pos) {
            size_t start = pos;
            while (pos < chars && text[pos] != L'\0')
                ++pos;
            if (pos == start)
                break;
            visit(text + start, pos - start);
        }
        return true;
    }

    // A text value, empty when missing, unreadable or not a text.
    std::wstring Text(HKEY key, const wchar_t* value)
    {
        DWORD size = 0;
        DWORD type = 0;
        if (Read(key, value, &size, &type) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return {};
        const wchar_t* text = reinterpret_cast<const wchar_t*>(bytes_.data());
        size_t chars = size / sizeof(wchar_t);
        size_t length = 0;
        while (length < chars && text[length] != L'\0')
            ++length;
        return std::wstring(text, length);
    }

private:
    LSTATUS Read(HKEY key, const wchar_t* value, DWORD* size, DWORD* type = nullptr)
    {
        for (int attempt = 0; attempt < 4; ++attempt) {
            *size = static_cast<DWORD>(bytes_.size());
            LSTATUS status = RegQueryValueExW(key, value, nullptr, type, bytes_.data(), size);
            if (status != ERROR_MORE_DATA)
                return status;
            bytes_.resize(*size + sizeof(wchar_t)); // grown since the size was told, perhaps
        }
        return ERROR_MORE_DATA;
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
    Scan(const wchar_t* name, std::vector<ServiceUser>* users) : name_(name), users_(users) {}

    // The first answer that settles it: any value that names the service, else
    // any that could not be read.
    Naming NamedIn(HKEY key, std::span<const wchar_t* const> values)
    {
        Naming found = Naming::No;
        for (const wchar_t* value : values) {
            Naming naming = buffer_.Names(key, value, name_);
            if (naming == Naming::Yes)
                return naming;
            if (naming == Naming::Unknown)
                found = naming;
        }
        return found;
    }

    void Classes(bool parkingCounts)
    {
        static const wchar_t* const values[] = {UpperFiltersValue, LowerFiltersValue, UpperFiltersRemovedValue,
                                                LowerFiltersRemovedValue};
        UniqueKey root;
        if (!OpenScanKey(HKEY_LOCAL_MACHINE, ClassRoot, ScanAccess, &root, users_,
                         [] { return std::wstring(ClassRoot); }))
            return;
        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* subkey) {
            if (MultiSzNamesMatch(subkey, StoreClass))
                return;
            auto path = [subkey] { return std::wstring(ClassRoot) + L"\\" + subkey; };
            UniqueKey key;
            if (!OpenScanKey(root.get(), subkey, KEY_QUERY_VALUE, &key, users_, path))
                return;
            Naming naming = NamedIn(key.get(), std::span(values).first(parkingCounts ? 4 : 2));
            if (naming == Naming::Unknown) {
                AddUnreadable(users_, path());
            } else if (naming == Naming::Yes) {
                users_->push_back(ClassUserOf(buffer_, key.get(), subkey));
            }
        });
        if (!listed)
            AddUnreadable(users_, ClassRoot);
    }

    // The services that depend on it, directly or through others, as the service
    // manager knows them: one call, where reading every service's key costs several
    // registry calls for each of hundreds.
    void Dependents(SC_HANDLE service)
    {
        DWORD needed = 0;
        DWORD count = 0;
        auto enumerate = serviceUsersCalls.enumDependentServices;
        if (enumerate(service, SERVICE_STATE_ALL, nullptr, 0, &needed, &count))
            return; // none
        UniqueHeapBlock block = GetLastError() == ERROR_MORE_DATA ? AllocateHeapBlock(needed) : UniqueHeapBlock();
        auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(block.get());
        if (!dependents || !enumerate(service, SERVICE_STATE_ALL, dependents, needed, &needed, &count)) {
            AddUnreadable(users_, std::wstring(ServicesRoot) + L"\\" + name_);
            return;
        }
        for (DWORD i = 0; i < count; ++i)
            users_->push_back({ServiceUser::Dependent, dependents[i].lpServiceName});
    }

private:
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
    // Adds the devices that name `name` to `users`, walking Enum again first when
    // it may have changed since the last walk.
    void FindUsers(const wchar_t* name, std::vector<ServiceUser>* users)
    {
        if (!Current())
            Build();
        users->insert(users->end(), unreadable_.begin(), unreadable_.end());
        auto found = named_.find(Folded(name));
        if (found == named_.end())
            return;
        for (const std::wstring& id : found->second) {
            // Read only for a user, so the walk reads no names it does not report.
            UniqueKey key;
            std::wstring friendly;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(EnumRoot) + L"\\" + id).c_str(), 0,
                              KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS)
                friendly = buffer_.Text(key.get(), L"FriendlyName");
            users->push_back({ServiceUser::Device, friendly.empty() ? id : friendly});
        }
    }

private:
    bool Current() const { return changed_ && WaitForSingleObject(changed_.get(), 0) == WAIT_TIMEOUT; }

    static std::wstring Folded(std::wstring name)
    {
        if (!name.empty())
            CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
        return name;
    }

    void Build()
    {
        named_.clear();
        unreadable_.clear();
        changed_.reset();
        root_.reset();
        if (!OpenScanKey(HKEY_LOCAL_MACHINE, EnumRoot, ScanAccess | KEY_NOTIFY, &root_, &unreadable_,
                         [] { return std::wstring(EnumRoot); }))
            return;
        // Asked for before the walk, so a change made during it is not missed. Where
        // the system cannot tell of changes, nothing is kept: every lookup walks anew.
        UniqueHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (changed && RegNotifyChangeKeyValue(root_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                               changed.get(), TRUE) == ERROR_SUCCESS)
            changed_ = std::move(changed);

        bool listed = ForEachSubkey(root_.get(), [&](const wchar_t* enumerator) {
            auto enumeratorPath = [enumerator] { return std::wstring(EnumRoot) + L"\\" + enumerator; };
            UniqueKey enumeratorKey;
            if (!OpenScanKey(root_.get(), enumerator, ScanAccess, &enumeratorKey, &unreadable_, enumeratorPath))
                return;
            bool devices = ForEachSubkey(enumeratorKey.get(), [&](const wchar_t* device) {
                auto devicePath = [&] { return enumeratorPath() + L"\\" + device; };
                UniqueKey deviceKey;
                if (!OpenScanKey(enumeratorKey.get(), device, ScanAccess, &deviceKey, &unreadable_, devicePath))
                    return;
                bool instances = ForEachSubkey(deviceKey.get(), [&](const wchar_t* instance) {
                    AddInstance(deviceKey.get(), instance, [&] {
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
            AddUnreadable(&unreadable_, EnumRoot);
    }

    // A device's own filters, and its function driver. `makeId` makes its instance
    // id, only once the id is stored.
    template <typename MakeId>
    void AddInstance(HKEY deviceKey, const wchar_t* instance, MakeId makeId)
    {
        auto path = [&makeId] { return std::wstring(EnumRoot) + L"\\" + makeId(); };
        UniqueKey key;
        if (!OpenScanKey(deviceKey, instance, KEY_QUERY_VALUE, &key, &unreadable_, path))
            return;
        std::wstring id;
        for (const wchar_t* value : {UpperFiltersValue, LowerFiltersValue, L"Service"}) {
            bool readable = buffer_.Entries(key.get(), value, [&](const wchar_t* entry, size_t length) {
                if (id.empty())
                    id = makeId();
                std::vector<std::wstring>& ids = named_[Folded(std::wstring(entry, length))];
                if (ids.empty() || ids.back() != id)
                    ids.push_back(id);
            });
            if (!readable) {
                AddUnreadable(&unreadable_, path());
                return;
            }
        }
    }

    UniqueKey root_;
    UniqueHandle changed_;
    // Instance ids under each service name they give, in capitals.
    std::map<std::wstring, std::vector<std::wstring>> named_;
    // Keys that could not be read: each may name any service.
    std::vector<ServiceUser> unreadable_;
    ValueBuffer buffer_;
};

DeviceIndex deviceIndex;

} // namespace

ServiceUsersCalls serviceUsersCalls = {EnumDependentServicesW};

ServiceUser ClassUser(HKEY classKey, const wchar_t* fallback)
{
    ValueBuffer buffer;
    return ClassUserOf(buffer, classKey, fallback);
}

bool FindServiceUsers(const wchar_t* name, SC_HANDLE service, bool parkingCounts, std::vector<ServiceUser>* users)
{
    size_t before = users->size();
    Scan scan(name, users);
    scan.Classes(parkingCounts);
    scan.Dependents(service);
    // Every device's own filters and function driver, from the index of Enum.
    deviceIndex.FindUsers(name, users);
    return users->size() > before;
}
