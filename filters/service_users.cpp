#include "filters/service_users.h"

#include "base/handles.h"

namespace {

constexpr wchar_t ClassRoot[] = L"SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr wchar_t EnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum";
constexpr wchar_t ServicesRoot[] = L"SYSTEM\\CurrentControlSet\\Services";
// Its own values are the store's to judge.
constexpr wchar_t CdromClass[] = L"{4D36E965-E325-11CE-BFC1-08002BE10318}";

constexpr REGSAM ScanAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
constexpr DWORD KeyNameLength = 256; // the longest name a key may have, and its NUL

enum class Naming { No, Yes, Unknown };

bool NamesMatch(const wchar_t* a, int aLength, const wchar_t* b)
{
    return CompareStringOrdinal(a, aLength, b, -1, TRUE) == CSTR_EQUAL;
}

// One buffer for every value of a scan: a value of ordinary size is read in one
// call and costs no allocation. Enum may hold thousands of device keys.
class ValueBuffer {
public:
    // `name` among the entries of the value (a list, or a single text), as the
    // system reads them: up to the first empty one.
    Naming Names(HKEY key, const wchar_t* value, const wchar_t* name)
    {
        DWORD size = 0;
        LSTATUS status = Read(key, value, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return Naming::No;
        if (status != ERROR_SUCCESS)
            return Naming::Unknown;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(bytes_.data());
        size_t chars = size / sizeof(wchar_t);
        for (size_t pos = 0; pos < chars; ++pos) {
            size_t start = pos;
            while (pos < chars && text[pos] != L'\0')
                ++pos;
            if (pos == start)
                break;
            if (NamesMatch(text + start, static_cast<int>(pos - start), name))
                return Naming::Yes;
        }
        return Naming::No;
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

// Opens a key of the scan. One that went away meanwhile names nothing; one that
// cannot be opened (or listed) may name the service, so it counts as a user.
class Scan {
public:
    Scan(const wchar_t* name, std::vector<ServiceUser>* users) : name_(name), users_(users) {}

    // `path` makes the key's path, only for a key that cannot be opened.
    template <typename Path>
    bool Open(HKEY parent, const wchar_t* subkey, REGSAM access, UniqueKey* key, Path path)
    {
        LSTATUS status = RegOpenKeyExW(parent, subkey, 0, access, key->put());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            Unreadable(path());
        return status == ERROR_SUCCESS;
    }

    void Unreadable(const std::wstring& path) { users_->push_back({ServiceUser::Unreadable, path}); }

    // The first answer that settles it: any value that names the service, else
    // any that could not be read.
    template <size_t N>
    Naming NamedIn(HKEY key, const wchar_t* const (&values)[N], size_t count)
    {
        Naming found = Naming::No;
        for (size_t i = 0; i < count && i < N; ++i) {
            Naming naming = buffer_.Names(key, values[i], name_);
            if (naming == Naming::Yes)
                return naming;
            if (naming == Naming::Unknown)
                found = naming;
        }
        return found;
    }

    void Classes(bool parkingCounts)
    {
        static const wchar_t* const values[] = {L"UpperFilters", L"LowerFilters", L"UpperFiltersRemoved",
                                                L"LowerFiltersRemoved"};
        UniqueKey root;
        if (!Open(HKEY_LOCAL_MACHINE, ClassRoot, ScanAccess, &root, [] { return std::wstring(ClassRoot); }))
            return;
        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* subkey) {
            if (NamesMatch(subkey, -1, CdromClass))
                return;
            auto path = [subkey] { return std::wstring(ClassRoot) + L"\\" + subkey; };
            UniqueKey key;
            if (!Open(root.get(), subkey, KEY_QUERY_VALUE, &key, path))
                return;
            Naming naming = NamedIn(key.get(), values, parkingCounts ? 4 : 2);
            if (naming == Naming::Unknown) {
                Unreadable(path());
            } else if (naming == Naming::Yes) {
                // The class's description is its key's default value; its short name stands in.
                std::wstring description = buffer_.Text(key.get(), nullptr);
                if (description.empty())
                    description = buffer_.Text(key.get(), L"Class");
                users_->push_back({ServiceUser::Class, description.empty() ? subkey : description});
            }
        });
        if (!listed)
            Unreadable(ClassRoot);
    }

    // Enum\<enumerator>\<device>\<instance>: every device the system has ever seen.
    void Devices()
    {
        UniqueKey root;
        if (!Open(HKEY_LOCAL_MACHINE, EnumRoot, ScanAccess, &root, [] { return std::wstring(EnumRoot); }))
            return;
        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* enumerator) {
            auto enumeratorPath = [enumerator] { return std::wstring(EnumRoot) + L"\\" + enumerator; };
            UniqueKey enumeratorKey;
            if (!Open(root.get(), enumerator, ScanAccess, &enumeratorKey, enumeratorPath))
                return;
            bool devices = ForEachSubkey(enumeratorKey.get(), [&](const wchar_t* device) {
                auto devicePath = [&] { return enumeratorPath() + L"\\" + device; };
                UniqueKey deviceKey;
                if (!Open(enumeratorKey.get(), device, ScanAccess, &deviceKey, devicePath))
                    return;
                bool instances = ForEachSubkey(deviceKey.get(), [&](const wchar_t* instance) {
                    Instance(deviceKey.get(), enumerator, device, instance);
                });
                if (!instances)
                    Unreadable(devicePath());
            });
            if (!devices)
                Unreadable(enumeratorPath());
        });
        if (!listed)
            Unreadable(EnumRoot);
    }

    void Instance(HKEY deviceKey, const wchar_t* enumerator, const wchar_t* device, const wchar_t* instance)
    {
        // A device's own filters, and its function driver.
        static const wchar_t* const values[] = {L"UpperFilters", L"LowerFilters", L"Service"};
        UniqueKey key;
        LSTATUS status = RegOpenKeyExW(deviceKey, instance, 0, KEY_QUERY_VALUE, key.put());
        Naming naming = status == ERROR_SUCCESS          ? NamedIn(key.get(), values, 3)
                        : status == ERROR_FILE_NOT_FOUND ? Naming::No
                                                         : Naming::Unknown;
        if (naming == Naming::No)
            return;
        std::wstring id = std::wstring(enumerator) + L"\\" + device + L"\\" + instance;
        if (naming == Naming::Unknown) {
            Unreadable(std::wstring(EnumRoot) + L"\\" + id);
            return;
        }
        std::wstring friendly = buffer_.Text(key.get(), L"FriendlyName");
        users_->push_back({ServiceUser::Device, friendly.empty() ? id : friendly});
    }

    void Dependents()
    {
        static const wchar_t* const values[] = {L"DependOnService"};
        UniqueKey root;
        if (!Open(HKEY_LOCAL_MACHINE, ServicesRoot, ScanAccess, &root, [] { return std::wstring(ServicesRoot); }))
            return;
        bool listed = ForEachSubkey(root.get(), [&](const wchar_t* service) {
            if (NamesMatch(service, -1, name_))
                return;
            UniqueKey key;
            LSTATUS status = RegOpenKeyExW(root.get(), service, 0, KEY_QUERY_VALUE, key.put());
            Naming naming = status == ERROR_SUCCESS          ? NamedIn(key.get(), values, 1)
                            : status == ERROR_FILE_NOT_FOUND ? Naming::No
                                                             : Naming::Unknown;
            if (naming == Naming::Yes)
                users_->push_back({ServiceUser::Dependent, service});
            else if (naming == Naming::Unknown)
                Unreadable(std::wstring(ServicesRoot) + L"\\" + service);
        });
        if (!listed)
            Unreadable(ServicesRoot);
    }

private:
    const wchar_t* name_;
    std::vector<ServiceUser>* users_;
    ValueBuffer buffer_;
};

} // namespace

bool FindServiceUsers(const wchar_t* name, bool parkingCounts, std::vector<ServiceUser>* users)
{
    size_t before = users->size();
    Scan scan(name, users);
    scan.Classes(parkingCounts);
    scan.Dependents();
    scan.Devices();
    return users->size() > before;
}
