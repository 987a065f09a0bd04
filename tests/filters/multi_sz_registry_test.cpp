// List edits against the prefix's real registry, read back raw and through `reg`.
#include "base/handles.h"
#include "filters/filter_registry.h"
#include "filters/multi_sz.h"
#include "support/wine_tools.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::wstring>;

std::vector<BYTE> Bytes(const std::wstring& text)
{
    const BYTE* raw = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(raw, raw + text.size() * sizeof(wchar_t));
}

class MultiSzRegistry : public ::testing::Test, ScratchMachine {
protected:
    void SetUp() override
    {
        ASSERT_EQ(OpenFilterClassKey(RunningMachine(), CdromClass(), FilterClassWriteAccess, key.put()), ERROR_SUCCESS);
    }

    ::testing::AssertionResult HoldsExactly(const wchar_t* value, const std::wstring& data)
    {
        RawValue raw = ReadClassValue(value);
        if (!raw.exists)
            return ::testing::AssertionFailure() << Narrow(value) << " does not exist";
        if (raw.type != REG_MULTI_SZ)
            return ::testing::AssertionFailure() << Narrow(value) << " has type " << raw.type;
        if (raw.data != Bytes(data))
            return ::testing::AssertionFailure() << Narrow(value) << " holds " << raw.data.size()
                                                 << " bytes, expected " << data.size() * 2;
        return ::testing::AssertionSuccess();
    }

    UniqueKey key;
};

TEST_F(MultiSzRegistry, RemovingEveryOccurrenceKeepsTheOthersInOrder)
{
    WriteClassMultiSz(LowerFiltersValue, {L"a", L"B", L"a"});
    ASSERT_EQ(ReadClassValue(LowerFiltersValue).data.size(), 14u);
    EXPECT_TRUE(RemoveMultiSzEntry(key.get(), L"A", LowerFiltersValue));
    EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"B\0\0", 3)));

    RegQueryResult reg = RegQueryClassValue("LowerFilters");
    ASSERT_TRUE(reg.exists);
    EXPECT_EQ(reg.type, "REG_MULTI_SZ");
    EXPECT_EQ(reg.entries, (std::vector<std::string>{"B"}));
}

TEST_F(MultiSzRegistry, RemovingTheOnlyEntryLeavesAnEmptyListNotADeletedValue)
{
    WriteClassMultiSz(UpperFiltersValue, {L"only"});
    EXPECT_TRUE(RemoveMultiSzEntry(key.get(), L"ONLY", UpperFiltersValue));
    EXPECT_TRUE(HoldsExactly(UpperFiltersValue, std::wstring(L"\0", 1)));
    EXPECT_TRUE(RegQueryClassValue("UpperFilters").exists);
}

TEST_F(MultiSzRegistry, NothingIsWrittenWhenNothingMatches)
{
    // A REG_SZ value shows that no write happened: any write would make it REG_MULTI_SZ.
    WriteClassValue(LowerFiltersValue, REG_SZ, Bytes(std::wstring(L"other\0", 6)));
    EXPECT_TRUE(RemoveMultiSzEntry(key.get(), L"absent", LowerFiltersValue));
    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"absent", LowerFiltersValue, LowerFiltersRemovedValue));
    EXPECT_EQ(ReadClassValue(LowerFiltersValue).type, static_cast<DWORD>(REG_SZ));
    EXPECT_FALSE(ReadClassValue(LowerFiltersRemovedValue).exists);

    // A missing source is nothing to do, and creates nothing.
    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"a", UpperFiltersValue, UpperFiltersRemovedValue));
    EXPECT_FALSE(ReadClassValue(UpperFiltersValue).exists);
    EXPECT_FALSE(ReadClassValue(UpperFiltersRemovedValue).exists);
}

TEST_F(MultiSzRegistry, MoveCreatesAMissingTargetAndAppendsToAnExistingOne)
{
    WriteClassMultiSz(LowerFiltersValue, {L"a", L"B", L"a"});
    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"A", LowerFiltersValue, LowerFiltersRemovedValue));
    EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"B\0\0", 3)));
    // Spelled as passed, once, size 2n + 4.
    EXPECT_TRUE(HoldsExactly(LowerFiltersRemovedValue, std::wstring(L"A\0\0", 3)));

    WriteClassMultiSz(UpperFiltersValue, {L"A"});
    WriteClassMultiSz(UpperFiltersRemovedValue, {L"x"});
    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"A", UpperFiltersValue, UpperFiltersRemovedValue));
    EXPECT_EQ(ReadClassValue(UpperFiltersRemovedValue).data.size(), 10u);
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries, (std::vector<std::string>{"x", "A"}));
}

TEST_F(MultiSzRegistry, MoveListsANameOnceWhenTheTargetHoldsItAlready)
{
    // Left in both by a move that half failed: the name leaves the source only.
    WriteClassMultiSz(LowerFiltersValue, {L"dup", L"a"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"DUP", L"z"});
    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"dup", LowerFiltersValue, LowerFiltersRemovedValue));
    EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"a\0\0", 3)));
    EXPECT_TRUE(HoldsExactly(LowerFiltersRemovedValue, std::wstring(L"DUP\0z\0\0", 7)));
}

TEST_F(MultiSzRegistry, AKeyThatMayNotBeWrittenFailsWithTheRegistrysCodeAndKeepsBothValues)
{
    WriteClassMultiSz(LowerFiltersValue, {L"a", L"n"});
    WriteClassMultiSz(LowerFiltersRemovedValue, {L"p"});
    UniqueKey readOnly;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, CdromClassKeyPath(), 0, KEY_READ, readOnly.put()), ERROR_SUCCESS);

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(RemoveMultiSzEntry(readOnly.get(), L"N", LowerFiltersValue));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(MoveMultiSzEntry(readOnly.get(), L"N", LowerFiltersValue, LowerFiltersRemovedValue));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"a\0n\0\0", 5)));
    EXPECT_TRUE(HoldsExactly(LowerFiltersRemovedValue, std::wstring(L"p\0\0", 3)));
}

TEST_F(MultiSzRegistry, LongListsAreEditedWhole)
{
    // Far past the 1024 bytes a fixed buffer would hold, on both sides of the move.
    Entries source;
    Entries target;
    for (int i = 0; i < 120; ++i) {
        source.push_back(L"SourceFilterName" + std::to_wstring(i));
        target.push_back(L"ParkedFilterName" + std::to_wstring(i));
    }
    source.insert(source.begin() + 60, L"Moving");
    source.push_back(L"moving");
    WriteClassMultiSz(UpperFiltersValue, source);
    WriteClassMultiSz(UpperFiltersRemovedValue, target);
    ASSERT_GT(ReadClassValue(UpperFiltersValue).data.size(), 4000u);

    EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"MOVING", UpperFiltersValue, UpperFiltersRemovedValue));

    MultiSzList after;
    ASSERT_EQ(ReadMultiSzValue(key.get(), UpperFiltersValue, after), ERROR_SUCCESS);
    Entries expectedSource = source;
    std::erase(expectedSource, L"Moving");
    std::erase(expectedSource, L"moving");
    EXPECT_EQ(after.entries, expectedSource);
    ASSERT_EQ(ReadMultiSzValue(key.get(), UpperFiltersRemovedValue, after), ERROR_SUCCESS);
    Entries expectedTarget = target;
    expectedTarget.push_back(L"MOVING");
    EXPECT_EQ(after.entries, expectedTarget);
    EXPECT_EQ(RegQueryClassValue("UpperFiltersRemoved").entries.size(), 121u);
}

TEST_F(MultiSzRegistry, MalformedTargetsGainTheNameAsAnEntryOfItsOwn)
{
    struct Case {
        const char* what;
        std::vector<BYTE> target;
        std::wstring expected;
    };
    std::vector<BYTE> odd = Bytes(std::wstring(L"t\0\0", 3));
    odd.push_back(0x7F);
    const Case cases[] = {
        {"0 bytes", {}, std::wstring(L"n\0\0", 3)},
        {"no closing entry", Bytes(std::wstring(L"t\0", 2)), std::wstring(L"t\0n\0\0", 5)},
        {"last entry unterminated", Bytes(L"t"), std::wstring(L"t\0n\0\0", 5)},
        {"odd size", odd, std::wstring(L"t\0n\0\0", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteClassMultiSz(LowerFiltersValue, {L"n"});
        WriteClassValue(LowerFiltersRemovedValue, REG_MULTI_SZ, c.target);
        EXPECT_TRUE(MoveMultiSzEntry(key.get(), L"n", LowerFiltersValue, LowerFiltersRemovedValue));
        EXPECT_TRUE(HoldsExactly(LowerFiltersRemovedValue, c.expected));
        EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"\0", 1)));
    }
}

TEST_F(MultiSzRegistry, MalformedSourcesAreEditedWithoutLosingTheirOtherNames)
{
    std::vector<BYTE> odd = Bytes(std::wstring(L"keep\0drop", 9));
    odd.push_back(0x01);
    WriteClassValue(UpperFiltersValue, REG_MULTI_SZ, odd);
    EXPECT_TRUE(RemoveMultiSzEntry(key.get(), L"drop", UpperFiltersValue));
    EXPECT_TRUE(HoldsExactly(UpperFiltersValue, std::wstring(L"keep\0\0", 6)));

    // Registry data of another type is read as a list too; the edit makes it one.
    WriteClassValue(LowerFiltersValue, REG_SZ, Bytes(std::wstring(L"drop\0", 5)));
    EXPECT_TRUE(RemoveMultiSzEntry(key.get(), L"drop", LowerFiltersValue));
    EXPECT_TRUE(HoldsExactly(LowerFiltersValue, std::wstring(L"\0", 1)));
}

} // namespace
