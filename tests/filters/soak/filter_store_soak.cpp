// A long run of random park, restore and delete operations against the class key of
// the Wine prefix: the same name in both groups and in several letter cases, values
// up to 64 KiB, malformed data, keys that refuse writes, one failing write in the
// middle of an operation, and values deleted in between. After every operation the
// names of the four values, read just before and just after, must show that no name
// was lost or invented, that no name came to stand more often in a value than it
// did (or once, if it did not), and that each group's outcome was reported truthfully.
//
// Usage: soak_filter_store [operations] [seed]. Prints one line with the counts and
// exits non-zero when a name was lost, invented or repeated or a result was false.
#include "base/handles.h"
#include "filters/filter_registry.h"
#include "filters/store_calls.h"
#include "bench/bench_tools.h"

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
void Report(long long operation, const char* what, const std::wstring& name)
{
    static int reported = 0;
    if (++reported <= 20)
        std::fprintf(stderr, "operation %lld: %s %ls, %s, failing write %d: outcome not as reported\n", operation,
                     what, name.c_str(), openReadOnly ? "read-only key" : "writable key", failingWrite);
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

    UniqueKey classKey;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, FilterClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, classKey.put(),
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open the class key\n");
        return 2;
    }
    HKEY key = classKey.get();
    Generator gen(seed);
    for (const wchar_t* value : kValues)
        gen.Seed(key, value);

    FilterStoreCalls saved = filterStoreCalls;
    filterStoreCalls = {SoakOpenKey, SoakSetValue, RegQueryValueExW};
    Counts counts;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    // What the values held after the last operation; a value changed in between is
    // read again, so each operation is judged against what it found.
    std::array<Tally, 4> beforeTally = ReadAll(key);
    for (long long op = 0; op < operations; ++op) {
        if (gen.Below(4) == 0) {
            Slot slot = static_cast<Slot>(gen.Below(4));
            gen.Seed(key, kValues[slot]);
            beforeTally[slot] = ReadTally(key, slot);
        }
        if (gen.Below(20) == 0) {
            Slot slot = static_cast<Slot>(gen.Below(4));
            RegDeleteValueW(key, kValues[slot]);
            beforeTally[slot].clear();
        }
        std::array<Names, 4> before = NamesOf(beforeTally);

        std::wstring name = gen.OperationName(before);
        std::wstring upper = FoldCase(name);
        openReadOnly = gen.Below(25) == 0;
        failingWrite = gen.Below(6) == 0 ? 1 + gen.Below(4) : 0;
        writesSoFar = 0;

        int kind = gen.Below(3);
        bool truthful = true;
        std::array<Tally, 4> afterTally;
        std::array<Names, 4> after;
        if (kind < 2) {
            FilterGroupEdits edits;
            bool park = kind == 0;
            bool result = park ? DeactivateFilter(name.c_str(), &edits) : ActivateFilter(name.c_str(), &edits);
            afterTally = ReadAll(key);
            after = NamesOf(afterTally);
            truthful = result == (edits.lower && edits.upper) &&
                       MoveTruthful(before, after, park ? Lower : LowerParked, park ? LowerParked : Lower, upper,
                                    edits.lower) &&
                       MoveTruthful(before, after, park ? Upper : UpperParked, park ? UpperParked : Upper, upper,
                                    edits.upper);
            CountGroup(before, after, Lower, LowerParked, nullptr, &counts);
            CountGroup(before, after, Upper, UpperParked, nullptr, &counts);
        } else {
            bool upperGroup = gen.Below(2) == 1;
            bool result = DeleteFilter(upperGroup ? UpperFiltersValue : LowerFiltersValue, name.c_str());
            afterTally = ReadAll(key);
            after = NamesOf(afterTally);
            Slot active = upperGroup ? Upper : Lower;
            Slot parked = upperGroup ? UpperParked : LowerParked;
            Slot otherActive = upperGroup ? Lower : Upper;
            Slot otherParked = upperGroup ? LowerParked : UpperParked;
            truthful = RemovalTruthful(before, after, active, parked, upper, result) &&
                       after[otherActive] == before[otherActive] && after[otherParked] == before[otherParked];
            CountGroup(before, after, active, parked, &upper, &counts);
            CountGroup(before, after, otherActive, otherParked, nullptr, &counts);
        }
        CountRepeats(beforeTally, afterTally, &counts);
        if (!truthful) {
            ++counts.falseResults;
            Report(op, kind == 0 ? "park" : kind == 1 ? "restore" : "delete", name);
        }
        beforeTally = std::move(afterTally);
    }
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    filterStoreCalls = saved;
    for (const wchar_t* value : kValues)
        RegDeleteValueW(key, value);

    std::printf("soak: %lld operations, %lld names lost, %lld names invented, %lld names repeated, %lld false "
                "results, %.1f s\n",
                operations, counts.lost, counts.invented, counts.repeated, counts.falseResults,
                SecondsBetween(start, end));
    return counts.lost || counts.invented || counts.repeated || counts.falseResults ? 1 : 0;
}
