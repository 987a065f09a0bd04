// A long run of random park, restore and delete operations against the class keys of
// the Wine prefix (the CD/DVD drives', the keyboards' and the USB controllers'), the
// CD/DVD class key of another installation's hive loaded for the run, and,
// in between, against the own values of a CD-ROM device that the run registers: the
// same name in both groups and in several letter cases, values up
// to 64 KiB, malformed data, keys that refuse writes, one failing write in the middle
// of an operation (to a value or to a device property), and values deleted in
// between. After every operation the names of the four values of each place, read
// just before and just after without the program's help, must show that no name was
// lost or invented, that no name came to stand more often in a value than it did (or
// once, if it did not), that each group's outcome was reported truthfully, and that
// the places not edited did not change. The class keys' values are put back as
// they were afterwards.
//
// Usage: soak_filter_store [operations] [seed]. Prints one line with the counts and
// exits non-zero when a name was lost, invented or repeated or a result was false.
#include "base/handles.h"
#include "devices/device_installer.h"
#include "devices/drive_filters.h"
#include "filters/device_classes.h"
#include "filters/filter_registry.h"
#include "filters/store_calls.h"
#include "services/offline_machine.h"
#include "services/running_machine.h"
#include "bench/bench_tools.h"
#include "support/swapped_seam.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Names = std::set<std::wstring>; // upper-cased, so compared without regard to case
using Tally = std::map<std::wstring, int>; // how many times each name stands in a value

enum Slot { Lower, Upper, LowerParked, UpperParked };
const wchar_t* const kValues[4] = {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue,
                                   UpperFiltersRemovedValue};
constexpr size_t MaxValueBytes = 64 * 1024;

// Every name starts with "Qs", so the service step can never reach a real service of
// the prefix. Some differ from each other only in case.
const wchar_t* const kPool[] = {L"QsFlt", L"qsflt", L"QSFLT1", L"QsA", L"qsAB", L"QsCdFilt", L"QsCdFilt_", L"qsx"};

std::wstring FoldCase(const std::wstring& text)
{
    std::wstring upper = text;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper;
}

// A value's names: its entries before the closing empty entry, whatever its type. An
// odd last byte is not a character; an unterminated last entry is still an entry.
Tally NamesIn(const std::vector<BYTE>& data)
{
    Tally names;
    std::wstring entry;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c != L'\0') {
            entry += c;
            continue;
        }
        if (entry.empty())
            return names;
        ++names[FoldCase(entry)];
        entry.clear();
    }
    if (!entry.empty())
        ++names[FoldCase(entry)];
    return names;
}

Tally ReadTally(HKEY key, Slot slot)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, kValues[slot], nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key, kValues[slot], nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return {};
    data.resize(size);
    return NamesIn(data);
}

Names NamesOf(const Tally& tally)
{
    Names names;
    for (const auto& [name, times] : tally)
        names.insert(name);
    return names;
}

std::array<Tally, 4> ReadAll(HKEY key)
{
    return {ReadTally(key, Lower), ReadTally(key, Upper), ReadTally(key, LowerParked), ReadTally(key, UpperParked)};
}

std::array<Names, 4> NamesOf(const std::array<Tally, 4>& tallies)
{
    return {NamesOf(tallies[0]), NamesOf(tallies[1]), NamesOf(tallies[2]), NamesOf(tallies[3])};
}

// Injected failures. A read-only open refuses every write of the operation; a failing
// write number n makes the n-th write of the operation fail without writing.
bool openReadOnly = false;
int failingWrite = 0;
int writesSoFar = 0;

LSTATUS WINAPI SoakOpenKey(HKEY root, const wchar_t* path, DWORD options, REGSAM access, HKEY* key)
{
    return RegOpenKeyExW(root, path, options, openReadOnly ? KEY_READ : access, key);
}

LSTATUS WINAPI SoakSetValue(HKEY key, const wchar_t* valueName, DWORD reserved, DWORD type, const BYTE* data,
                            DWORD size)
{
    if (++writesSoFar == failingWrite)
        return ERROR_WRITE_FAULT;
    return RegSetValueExW(key, valueName, reserved, type, data, size);
}

// The device installer's side of the same failures, for the drive's own values: its
// Device Parameters key opens for reading only, or is not made, and its filter
// properties are refused; a failing write number n counts the property writes too.
BOOL WINAPI SoakSetProperty(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, const BYTE* data, DWORD size)
{
    if (openReadOnly) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (++writesSoFar == failingWrite) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return SetupDiSetDeviceRegistryPropertyW(set, device, property, data, size);
}

HKEY WINAPI SoakOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD keyType,
                              REGSAM access)
{
    return SetupDiOpenDevRegKey(set, device, scope, profile, keyType, openReadOnly ? KEY_READ : access);
}

HKEY WINAPI SoakCreateDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD keyType,
                                HINF inf, const wchar_t* section)
{
    if (openReadOnly) {
        SetLastError(ERROR_ACCESS_DENIED);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    return SetupDiCreateDevRegKeyW(set, device, scope, profile, keyType, inf, section);
}

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::wstring RandomCase(std::wstring name)
    {
        for (wchar_t& c : name) {
            if (Below(3) != 0)
                continue;
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - L'a' + L'A');
            else if (c >= L'A' && c <= L'Z')
                c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        return name;
    }

    std::wstring PoolName() { return RandomCase(kPool[Below(static_cast<int>(std::size(kPool)))]); }

    std::wstring FillerName()
    {
        static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
        std::wstring name = L"Qs";
        int length = Below(5) == 0 ? 1 + Below(250) : 1 + Below(12);
        for (int i = 0; i < length; ++i)
            name += letters[Below(static_cast<int>(std::size(letters)) - 1)];
        return name;
    }

    // Random contents for one value: mostly short lists of pool names, sometimes up to
    // 64 KiB, in any of the shapes the registry may hold.
    std::vector<BYTE> Contents(DWORD* type)
    {
        std::vector<BYTE> data;
        auto put = [&data](const std::wstring& text) {
            for (wchar_t c : text) {
                data.push_back(static_cast<BYTE>(c & 0xFF));
                data.push_back(static_cast<BYTE>(c >> 8));
            }
            data.push_back(0);
            data.push_back(0);
        };
        size_t limit = Below(10) == 0 ? static_cast<size_t>(Below(static_cast<int>(MaxValueBytes) - 64)) : 200;
        int count = Below(7);
        for (int i = 0; i < count; ++i)
            put(Below(4) == 0 ? FillerName() : PoolName());
        while (data.size() < limit) {
            std::wstring filler = Below(20) == 0 ? PoolName() : FillerName();
            if (data.size() + (filler.size() + 1) * 2 + 2 > limit)
                break;
            put(filler);
        }
        switch (Below(8)) {
        case 0: // no closing entry
            break;
        case 1: // the last entry without its NUL
            if (data.size() >= 2)
                data.resize(data.size() - 2);
            break;
        case 2: // an odd byte count
            put(L"");
            data.push_back(static_cast<BYTE>(Below(256)));
            break;
        case 3: // nothing at all
            data.clear();
            break;
        case 4: // names after the closing entry are not names
            put(L"");
            put(PoolName());
            put(L"");
            break;
        default:
            put(L"");
            break;
        }
        static const DWORD types[] = {REG_MULTI_SZ, REG_MULTI_SZ, REG_MULTI_SZ, REG_SZ, REG_BINARY};
        *type = types[Below(5)];
        return data;
    }

    void Seed(HKEY key, const wchar_t* valueName)
    {
        DWORD type = 0;
        std::vector<BYTE> data = Contents(&type);
        RegSetValueExW(key, valueName, 0, type, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
    }

    // A name that some value holds, in another case now and then, or one of the pool.
    std::wstring OperationName(const std::array<Names, 4>& values)
    {
        const Names& value = values[static_cast<size_t>(Below(4))];
        if (value.empty() || Below(10) < 6)
            return PoolName();
        auto it = value.begin();
        std::advance(it, Below(static_cast<int>(std::min<size_t>(value.size(), 64))));
        return RandomCase(*it);
    }

private:
    std::mt19937 rng_;
};

// The CD-ROM device whose own values the run edits, registered for the run and
// removed afterwards (a leftover of an aborted run first). It has no CD-ROM
// interface, so no device change would ever reach it.
constexpr wchar_t kDriveId[] = L"ROOT\\CDROM\\QMSOAKDRIVE";
constexpr wchar_t kDriveKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\CDROM\\QMSOAKDRIVE";
constexpr DWORD kProperty[2] = {SPDRP_LOWERFILTERS, SPDRP_UPPERFILTERS}; // the slots Lower, Upper

// Released by the system itself, whatever stand-in the program's table holds.
struct SoakDeviceSetTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { SetupDiDestroyDeviceInfoList(value); }
};

// Every read and write here goes straight to the installer and the registry, never
// through the program's tables.
class SoakDrive {
public:
    SoakDrive()
    {
        Remove();
        set_.reset(SetupDiCreateDeviceInfoList(&CdromClass().guid, nullptr));
        device_.cbSize = sizeof(device_);
        registered_ = set_ &&
                      SetupDiCreateDeviceInfoW(set_.get(), kDriveId, &CdromClass().guid, nullptr, nullptr, 0, &device_) &&
                      SetupDiRegisterDeviceInfo(set_.get(), &device_, 0, nullptr, nullptr, nullptr);
    }
    ~SoakDrive()
    {
        set_.reset();
        Remove();
    }
    SoakDrive(const SoakDrive&) = delete;
    SoakDrive& operator=(const SoakDrive&) = delete;
    bool registered() const { return registered_; }

    Tally Read(Slot slot)
    {
        if (slot == Lower || slot == Upper)
            return NamesIn(ReadProperty(kProperty[slot]));
        UniqueKey parking = OpenParking();
        return parking ? ReadTally(parking.get(), slot) : Tally{};
    }

    std::array<Tally, 4> ReadAll()
    {
        UniqueKey parking = OpenParking();
        if (!parking)
            return {Read(Lower), Read(Upper), Tally{}, Tally{}};
        return {Read(Lower), Read(Upper), ReadTally(parking.get(), LowerParked), ReadTally(parking.get(), UpperParked)};
    }

    // The properties take any bytes through the installer, which always stores them
    // as REG_MULTI_SZ; the parking values take any type.
    void Seed(Generator& gen, Slot slot)
    {
        DWORD type = 0;
        std::vector<BYTE> data = gen.Contents(&type);
        const BYTE* bytes = data.empty() ? nullptr : data.data();
        if (slot == Lower || slot == Upper) {
            SetupDiSetDeviceRegistryPropertyW(set_.get(), &device_, kProperty[slot], bytes,
                                              static_cast<DWORD>(data.size()));
            return;
        }
        HKEY parking = SetupDiCreateDevRegKeyW(set_.get(), &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (parking == INVALID_HANDLE_VALUE)
            return;
        RegSetValueExW(parking, kValues[slot], 0, type, bytes, static_cast<DWORD>(data.size()));
        RegCloseKey(parking);
    }

    // A property is deleted in the hardware key itself: the installer, asked to
    // delete one, leaves an empty value under Wine.
    void Delete(Slot slot)
    {
        UniqueKey key;
        if (slot == Lower || slot == Upper)
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriveKey, 0, KEY_SET_VALUE, key.put());
        else
            key = OpenParking();
        if (key)
            RegDeleteValueW(key.get(), kValues[slot]);
    }

    void DeleteParkingKey() { SetupDiDeleteDevRegKey(set_.get(), &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV); }

private:
    // Missing or unreadable: empty.
    std::vector<BYTE> ReadProperty(DWORD property)
    {
        DWORD size = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set_.get(), &device_, property, nullptr, nullptr, 0, &size) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
            return {};
        std::vector<BYTE> data(size);
        if (!SetupDiGetDeviceRegistryPropertyW(set_.get(), &device_, property, nullptr, data.data(), size, &size))
            return {};
        data.resize(std::min<size_t>(size, data.size()));
        return data;
    }

    UniqueKey OpenParking()
    {
        HKEY key = SetupDiOpenDevRegKey(set_.get(), &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ | KEY_SET_VALUE);
        return UniqueKey(key == INVALID_HANDLE_VALUE ? nullptr : key);
    }

    static void Remove()
    {
        UniqueAny<SoakDeviceSetTraits> set(SetupDiCreateDeviceInfoList(&CdromClass().guid, nullptr));
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        if (set && SetupDiOpenDeviceInfoW(set.get(), kDriveId, nullptr, 0, &device))
            SetupDiRemoveDevice(set.get(), &device);
    }

    UniqueAny<SoakDeviceSetTraits> set_;
    SP_DEVINFO_DATA device_{};
    bool registered_ = false;
};

struct Counts {
    long long lost = 0;
    long long invented = 0;
    long long repeated = 0;
    long long falseResults = 0;
};

Names With(Names names, const std::wstring& name)
{
    names.insert(name);
    return names;
}

Names Without(Names names, const std::wstring& name)
{
    names.erase(name);
    return names;
}

// Names that left a group's pair of values, and names that came into it from nowhere.
void CountGroup(const std::array<Names, 4>& before, const std::array<Names, 4>& after, Slot active, Slot parked,
                const std::wstring* deleted, Counts* counts)
{
    Names was = before[active];
    was.insert(before[parked].begin(), before[parked].end());
    Names is = after[active];
    is.insert(after[parked].begin(), after[parked].end());
    for (const std::wstring& name : was)
        if (!is.count(name) && !(deleted && *deleted == name))
            ++counts->lost;
    for (const std::wstring& name : is)
        if (!was.count(name))
            ++counts->invented;
}

// Names that stand in a value more often than before, where they stood before at all:
// an edit may bring a name into a value once, never list it again.
void CountRepeats(const std::array<Tally, 4>& before, const std::array<Tally, 4>& after, Counts* counts)
{
    for (size_t slot = 0; slot < 4; ++slot)
        for (const auto& [name, times] : after[slot]) {
            auto was = before[slot].find(name);
            if (times > std::max(was == before[slot].end() ? 0 : was->second, 1))
                ++counts->repeated;
        }
}

// Whether a move of `name` from `from` to `to` agrees with what the store reported:
// done, it moved (when there was anything to move) and nothing else changed; not
// done, each value is unchanged or has gained only the name.
bool MoveTruthful(const std::array<Names, 4>& before, const std::array<Names, 4>& after, Slot from, Slot to,
                  const std::wstring& name, bool done)
{
    if (done) {
        if (!before[from].count(name))
            return after[from] == before[from] && after[to] == before[to];
        return after[from] == Without(before[from], name) && after[to] == With(before[to], name);
    }
    for (Slot slot : {from, to})
        if (after[slot] != before[slot] && after[slot] != With(before[slot], name))
            return false;
    return true;
}

// A removal of `name` from the pair: done, it is gone from both and nothing else
// changed; not done, each value is unchanged or has lost only the name.
bool RemovalTruthful(const std::array<Names, 4>& before, const std::array<Names, 4>& after, Slot active,
                     Slot parked, const std::wstring& name, bool done)
{
    for (Slot slot : {active, parked}) {
        Names removed = Without(before[slot], name);
        if (done ? after[slot] != removed : (after[slot] != before[slot] && after[slot] != removed))
            return false;
    }
    return true;
}

// The first few wrong outcomes, for whoever has to find the fault.
void Report(long long operation, const char* where, const char* what, const std::wstring& name)
{
    static int reported = 0;
    if (++reported <= 20)
        std::fprintf(stderr, "operation %lld: %s%s %ls, %s, failing write %d: outcome not as reported\n", operation,
                     where, what, name.c_str(), openReadOnly ? "read-only key" : "writable key", failingWrite);
}

// One class key the run edits, and what its four values held before, so that they
// can be put back: a key made for the run is removed again.
struct ClassPlace {
    Machine machine = RunningMachine();
    DeviceClass deviceClass;
    std::wstring path;
    UniqueKey key;
    bool made = false;
    struct Saved {
        bool present = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    } saved[4];
};

// The keyboards' and the USB controllers' classes: Windows cannot start without
// either, and Wine's prefix may lack their keys.
constexpr wchar_t kKeyboardKey[] = L"{4d36e96b-e325-11ce-bfc1-08002be10318}";
constexpr wchar_t kUsbKey[] = L"{36fc9e60-c465-11cf-8056-444553540000}";

bool OpenClassPlace(const std::wstring& classKey, const wchar_t* className, ClassPlace* place)
{
    place->path = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + classKey;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, place->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, place->key.put(),
                        &disposition) != ERROR_SUCCESS)
        return false;
    place->made = disposition == REG_CREATED_NEW_KEY;
    if (place->made)
        RegSetValueExW(place->key.get(), L"Class", 0, REG_SZ, reinterpret_cast<const BYTE*>(className),
                       static_cast<DWORD>((std::wcslen(className) + 1) * sizeof(wchar_t)));
    for (int slot = 0; slot < 4; ++slot) {
        ClassPlace::Saved& saved = place->saved[slot];
        DWORD size = 0;
        saved.present = RegQueryValueExW(place->key.get(), kValues[slot], nullptr, &saved.type, nullptr, &size) ==
                        ERROR_SUCCESS;
        saved.data.resize(size);
        if (saved.present && size)
            RegQueryValueExW(place->key.get(), kValues[slot], nullptr, &saved.type, saved.data.data(), &size);
    }
    std::vector<std::wstring> others;
    return FindDeviceClass(RunningMachine(), classKey, &place->deviceClass, &others) == ClassLookup::Found;
}

// Another installation's registry, as a technician's repair finds it: a hive file
// loaded for the run under a key of its own, with the CD/DVD class in its one
// control set; gone again afterwards, file and all.
class SoakHive {
public:
    SoakHive()
    {
        wchar_t temp[MAX_PATH] = L"";
        GetTempPathW(MAX_PATH, temp);
        std::wstring id = std::to_wstring(GetCurrentProcessId());
        file_ = std::wstring(temp) + L"qm-soak-hive-" + id;
        key_ = L"QmSoakOffline-" + id;
        FILE* out = _wfopen(file_.c_str(), L"wb");
        if (!out)
            return;
        std::fprintf(out, "WINE REGISTRY Version 2\n\n[Select] 1700000000\n\"Current\"=dword:00000001\n\n"
                          "[ControlSet001\\\\Control\\\\Class\\\\%ls] 1700000000\n\"Class\"=\"CDROM\"\n",
                     CdromClass().key.c_str());
        std::fclose(out);
        EnableHivePrivileges();
        loaded_ = RegLoadKeyW(HKEY_LOCAL_MACHINE, key_.c_str(), file_.c_str()) == ERROR_SUCCESS;
    }
    ~SoakHive()
    {
        if (loaded_)
            RegUnLoadKeyW(HKEY_LOCAL_MACHINE, key_.c_str());
        DeleteFileW(file_.c_str());
    }
    SoakHive(const SoakHive&) = delete;
    SoakHive& operator=(const SoakHive&) = delete;

    // Its class key as a place of the run; false when the hive did not load.
    bool Open(ClassPlace* place) const
    {
        place->machine = OfflineMachine(key_, L"ControlSet001", L"C:\\nowhere\\Windows");
        place->deviceClass = CdromClass();
        place->path = ClassKeyPath(place->machine, CdromClass());
        return loaded_ && RegOpenKeyExW(HKEY_LOCAL_MACHINE, place->path.c_str(), 0, KEY_ALL_ACCESS,
                                        place->key.put()) == ERROR_SUCCESS;
    }

private:
    std::wstring file_;
    std::wstring key_;
    bool loaded_ = false;
};

void PutBack(ClassPlace& place)
{
    for (int slot = 0; slot < 4; ++slot) {
        const ClassPlace::Saved& saved = place.saved[slot];
        if (saved.present)
            RegSetValueExW(place.key.get(), kValues[slot], 0, saved.type, saved.data.data(),
                           static_cast<DWORD>(saved.data.size()));
        else
            RegDeleteValueW(place.key.get(), kValues[slot]);
    }
    place.key.reset();
    if (place.made)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, place.path.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchRunningUnderWine() || !std::getenv("WINEPREFIX")) {
        std::fprintf(stderr, "The soak edits the machine's registry: it runs only under Wine, in a set WINEPREFIX.\n");
        return 2;
    }
    long long operations = argc > 1 ? std::atoll(argv[1]) : 100000;
    unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261208u;

    // The class keys first, the drive last: a place is an index into both. The
    // hive goes after every key of it is closed.
    SoakHive hive;
    std::vector<ClassPlace> classes(4);
    if (!OpenClassPlace(CdromClass().key, L"CDROM", &classes[0]) ||
        !OpenClassPlace(kKeyboardKey, L"Keyboard", &classes[1]) || !OpenClassPlace(kUsbKey, L"USB", &classes[2]) ||
        !hive.Open(&classes[3])) {
        std::fprintf(stderr, "cannot open the class keys\n");
        for (ClassPlace& place : classes)
            if (place.key)
                PutBack(place);
        return 2;
    }
    const size_t drivePlace = classes.size();
    const size_t placeCount = classes.size() + 1;
    SoakDrive drive;
    if (!drive.registered()) {
        std::fprintf(stderr, "cannot register the soak's CD-ROM device\n");
        for (ClassPlace& place : classes)
            PutBack(place);
        return 2;
    }
    Generator gen(seed);
    auto seedValue = [&](size_t place, Slot slot) {
        if (place == drivePlace)
            drive.Seed(gen, slot);
        else
            gen.Seed(classes[place].key.get(), kValues[slot]);
    };
    auto readValue = [&](size_t place, Slot slot) {
        return place == drivePlace ? drive.Read(slot) : ReadTally(classes[place].key.get(), slot);
    };
    auto deleteValue = [&](size_t place, Slot slot) {
        if (place == drivePlace)
            drive.Delete(slot);
        else
            RegDeleteValueW(classes[place].key.get(), kValues[slot]);
    };
    auto readAll = [&] {
        std::vector<std::array<Tally, 4>> all;
        for (const ClassPlace& place : classes)
            all.push_back(ReadAll(place.key.get()));
        all.push_back(drive.ReadAll());
        return all;
    };
    for (size_t place = 0; place < placeCount; ++place)
        for (Slot slot : {Lower, Upper, LowerParked, UpperParked})
            seedValue(place, slot);

    SwappedSeam store(filterStoreCalls, {SoakOpenKey, SoakSetValue, RegQueryValueExW});
    SwappedSeam installer(deviceInstallerCalls);
    deviceInstallerCalls.setDeviceRegistryProperty = SoakSetProperty;
    deviceInstallerCalls.openDevRegKey = SoakOpenDevRegKey;
    deviceInstallerCalls.createDevRegKey = SoakCreateDevRegKey;
    Counts counts;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    // What each place's values held after the last operation; a value changed in
    // between is read again, so each operation is judged against what it found.
    std::vector<std::array<Tally, 4>> beforeTally = readAll();
    for (long long op = 0; op < operations; ++op) {
        if (gen.Below(4) == 0) {
            size_t place = static_cast<size_t>(gen.Below(static_cast<int>(placeCount)));
            Slot slot = static_cast<Slot>(gen.Below(4));
            seedValue(place, slot);
            beforeTally[place][slot] = readValue(place, slot);
        }
        if (gen.Below(20) == 0) {
            size_t place = static_cast<size_t>(gen.Below(static_cast<int>(placeCount)));
            Slot slot = static_cast<Slot>(gen.Below(4));
            deleteValue(place, slot);
            beforeTally[place][slot] = readValue(place, slot);
        }
        // Without its Device Parameters key a drive has nowhere to park until a park
        // makes one.
        if (gen.Below(100) == 0) {
            drive.DeleteParkingKey();
            beforeTally[drivePlace][LowerParked] = drive.Read(LowerParked);
            beforeTally[drivePlace][UpperParked] = drive.Read(UpperParked);
        }
        // One operation in three on the drive: each costs half as much again as one on
        // a class key, and the short run has to stay short.
        size_t place = gen.Below(3) == 0 ? drivePlace : static_cast<size_t>(gen.Below(static_cast<int>(classes.size())));
        const DeviceClass& deviceClass = place == drivePlace ? CdromClass() : classes[place].deviceClass;
        std::array<Names, 4> before = NamesOf(beforeTally[place]);

        std::wstring name = gen.OperationName(before);
        std::wstring upper = FoldCase(name);
        openReadOnly = gen.Below(25) == 0;
        failingWrite = gen.Below(6) == 0 ? 1 + gen.Below(4) : 0;
        writesSoFar = 0;

        int kind = gen.Below(3);
        bool upperGroup = kind == 2 && gen.Below(2) == 1;
        bool result = false;
        FilterGroupEdits edits;
        const Machine& machine = place == drivePlace ? RunningMachine() : classes[place].machine;
        if (place != drivePlace) {
            if (kind < 2)
                result = kind == 0 ? DeactivateFilter(machine, deviceClass, name.c_str(), &edits)
                                   : ActivateFilter(machine, deviceClass, name.c_str(), &edits);
            else
                result = DeleteFilter(machine, deviceClass, upperGroup ? UpperFiltersValue : LowerFiltersValue,
                                      name.c_str());
        } else {
            if (kind < 2)
                result = kind == 0 ? DeactivateDriveFilter(machine, deviceClass, kDriveId, name.c_str(), &edits)
                                   : ActivateDriveFilter(machine, deviceClass, kDriveId, name.c_str(), &edits);
            else
                result = DeleteDriveFilter(machine, deviceClass, kDriveId, upperGroup, name.c_str());
        }
        std::vector<std::array<Tally, 4>> afterTally = readAll();
        std::array<Names, 4> after = NamesOf(afterTally[place]);
        bool truthful = true;
        if (kind < 2) {
            bool park = kind == 0;
            truthful = result == (edits.lower && edits.upper) &&
                       MoveTruthful(before, after, park ? Lower : LowerParked, park ? LowerParked : Lower, upper,
                                    edits.lower) &&
                       MoveTruthful(before, after, park ? Upper : UpperParked, park ? UpperParked : Upper, upper,
                                    edits.upper);
            CountGroup(before, after, Lower, LowerParked, nullptr, &counts);
            CountGroup(before, after, Upper, UpperParked, nullptr, &counts);
        } else {
            Slot active = upperGroup ? Upper : Lower;
            Slot parked = upperGroup ? UpperParked : LowerParked;
            Slot otherActive = upperGroup ? Lower : Upper;
            Slot otherParked = upperGroup ? LowerParked : UpperParked;
            truthful = RemovalTruthful(before, after, active, parked, upper, result) &&
                       after[otherActive] == before[otherActive] && after[otherParked] == before[otherParked];
            CountGroup(before, after, active, parked, &upper, &counts);
            CountGroup(before, after, otherActive, otherParked, nullptr, &counts);
        }
        // The places not edited may neither lose nor gain a name.
        for (size_t other = 0; other < placeCount; ++other) {
            if (other == place)
                continue;
            std::array<Names, 4> otherBefore = NamesOf(beforeTally[other]);
            std::array<Names, 4> otherAfter = NamesOf(afterTally[other]);
            truthful = truthful && otherAfter == otherBefore;
            CountGroup(otherBefore, otherAfter, Lower, LowerParked, nullptr, &counts);
            CountGroup(otherBefore, otherAfter, Upper, UpperParked, nullptr, &counts);
        }
        for (size_t each = 0; each < placeCount; ++each)
            CountRepeats(beforeTally[each], afterTally[each], &counts);
        if (!truthful) {
            ++counts.falseResults;
            std::string where = "drive ";
            if (place != drivePlace)
                where = classes[place].machine.offline
                            ? "offline "
                            : std::string(deviceClass.className.begin(), deviceClass.className.end()) + " ";
            Report(op, where.c_str(), kind == 0 ? "park" : kind == 1 ? "restore" : "delete", name);
        }
        beforeTally = std::move(afterTally);
    }
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    for (ClassPlace& each : classes)
        PutBack(each);

    std::printf("soak: %lld operations in %zu class keys (one of them in a loaded hive) and a drive, %lld names lost, %lld names invented, %lld names "
                "repeated, %lld false results, %.1f s\n",
                operations, classes.size(), counts.lost, counts.invented, counts.repeated, counts.falseResults,
                SecondsBetween(start, end));
    return counts.lost || counts.invented || counts.repeated || counts.falseResults ? 1 : 0;
}
