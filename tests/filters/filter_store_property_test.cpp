// Random class-key contents and random park/restore/delete sequences, checked
// against a plain model after every step: no name lost or invented, order kept,
// every written value well formed.
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t* const kValues[4] = {LowerFiltersValue, UpperFiltersValue, LowerFiltersRemovedValue,
                                   UpperFiltersRemovedValue};
enum { Lower, Upper, LowerParked, UpperParked };

// Names that are prefixes, suffixes and case variants of each other, so that any
// partial or case-sensitive match would show.
const wchar_t* const kPool[] = {L"flt", L"flt1", L"xflt", L"Disk", L"diskflt", L"a",
                                L"ab",  L"b",    L"Q",    L"imapi", L"cdfilt", L"cdfilt_"};

struct ModelValue {
    bool exists = false;
    bool written = false;
    std::vector<std::wstring> entries;
};

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::wstring Name()
    {
        if (Below(10) == 0) {
            // Long names push lists well past a kilobyte.
            std::wstring longName(static_cast<size_t>(40 + Below(60)), L'L');
            longName += std::to_wstring(Below(1000));
            return longName;
        }
        std::wstring name = kPool[Below(static_cast<int>(std::size(kPool)))];
        for (wchar_t& c : name)
            if (Below(2))
                c = static_cast<wchar_t>(std::towupper(c));
        return name;
    }

    // Writes a random value and returns what the model expects to find in it.
    ModelValue WriteRandom(const wchar_t* valueName)
    {
        ModelValue model;
        if (Below(5) == 0)
            return model;
        model.exists = true;
        int count = Below(4) == 0 ? 20 + Below(60) : Below(6);
        for (int i = 0; i < count; ++i)
            model.entries.push_back(Name());

        std::vector<BYTE> data;
        auto put = [&data](const std::wstring& text) {
            const BYTE* raw = reinterpret_cast<const BYTE*>(text.c_str());
            data.insert(data.end(), raw, raw + (text.size() + 1) * sizeof(wchar_t));
        };
        for (const std::wstring& entry : model.entries)
            put(entry);
        switch (Below(6)) {
        case 0: // well formed
        case 1:
            put(L"");
            break;
        case 2: // no closing empty entry
            break;
        case 3: // last entry without its NUL
            if (!data.empty())
                data.resize(data.size() - 2);
            break;
        case 4: // a stray odd byte
            put(L"");
            data.push_back(static_cast<BYTE>(1 + Below(200)));
            break;
        default: // no data at all
            data.clear();
            model.entries.clear();
            break;
        }
        WriteClassValue(valueName, REG_MULTI_SZ, data);
        return model;
    }

private:
    std::mt19937 rng_;
};

bool Matches(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool ModelRemove(ModelValue& value, const std::wstring& name)
{
    size_t removed = std::erase_if(value.entries, [&](const std::wstring& e) { return Matches(e, name); });
    if (removed == 0)
        return false;
    value.written = true;
    return true;
}

void ModelMove(ModelValue& from, ModelValue& to, const std::wstring& name)
{
    if (!ModelRemove(from, name))
        return;
    if (std::any_of(to.entries.begin(), to.entries.end(), [&](const std::wstring& e) { return Matches(e, name); }))
        return;
    to.exists = true;
    to.written = true;
    to.entries.push_back(name);
}

::testing::AssertionResult AgreesWithModel(const std::array<ModelValue, 4>& model)
{
    for (int i = 0; i < 4; ++i) {
        RawValue raw = ReadClassValue(kValues[i]);
        const ModelValue& expected = model[i];
        if (raw.exists != expected.exists)
            return ::testing::AssertionFailure() << Narrow(kValues[i]) << (raw.exists ? " exists" : " is missing");
        if (!raw.exists)
            continue;
        MultiSzList parsed = ParseMultiSz(raw.data.data(), raw.data.size());
        if (parsed.entries != expected.entries)
            return ::testing::AssertionFailure()
                   << Narrow(kValues[i]) << " lists " << parsed.entries.size() << " names, model "
                   << expected.entries.size();
        if (expected.written) {
            MultiSzList clean;
            clean.entries = expected.entries;
            if (raw.type != REG_MULTI_SZ || raw.data != SerializeMultiSz(clean))
                return ::testing::AssertionFailure() << Narrow(kValues[i]) << " is not a well-formed list";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(FilterStoreProperty, RandomEditsMatchTheModel)
{
    ScratchMachine machine;
    Generator gen(20261208);
    const int rounds = 500;
    const int stepsPerRound = 4;
    for (int round = 0; round < rounds; ++round) {
        ResetFilterValues();
        std::array<ModelValue, 4> model;
        for (int i = 0; i < 4; ++i)
            model[i] = gen.WriteRandom(kValues[i]);
        ASSERT_TRUE(AgreesWithModel(model)) << "round " << round << " after seeding";

        for (int step = 0; step < stepsPerRound; ++step) {
            std::wstring name = gen.Name();
            int op = gen.Below(3);
            bool result = false;
            if (op == 0) {
                result = DeactivateFilter(RunningMachine(), CdromClass(), name.c_str());
                ModelMove(model[Lower], model[LowerParked], name);
                ModelMove(model[Upper], model[UpperParked], name);
            } else if (op == 1) {
                result = ActivateFilter(RunningMachine(), CdromClass(), name.c_str());
                ModelMove(model[LowerParked], model[Lower], name);
                ModelMove(model[UpperParked], model[Upper], name);
            } else {
                bool upper = gen.Below(2) == 1;
                result = DeleteFilter(RunningMachine(), CdromClass(), upper ? UpperFiltersValue : LowerFiltersValue, name.c_str());
                ModelRemove(model[upper ? Upper : Lower], name);
                ModelRemove(model[upper ? UpperParked : LowerParked], name);
            }
            ASSERT_TRUE(result) << "round " << round << " step " << step << " op " << op;
            ASSERT_TRUE(AgreesWithModel(model))
                << "round " << round << " step " << step << " op " << op << " name " << Narrow(name);
        }
    }
}

} // namespace
