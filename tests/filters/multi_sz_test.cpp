// The list format itself: parsing what the registry may hold, writing it back.
#include "filters/multi_sz.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const std::wstring& text)
{
    const BYTE* raw = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(raw, raw + text.size() * sizeof(wchar_t));
}

MultiSzList Parse(const std::vector<BYTE>& data)
{
    return ParseMultiSz(data.data(), data.size());
}

using Entries = std::vector<std::wstring>;

TEST(MultiSzFormat, WellFormedListsRoundTrip)
{
    std::vector<BYTE> two = Bytes(std::wstring(L"a\0bc\0\0", 6));
    ASSERT_EQ(two.size(), 12u);
    MultiSzList list = Parse(two);
    EXPECT_EQ(list.entries, (Entries{L"a", L"bc"}));
    EXPECT_TRUE(list.tail.empty());
    EXPECT_EQ(SerializeMultiSz(list), two);

    MultiSzList empty = Parse(Bytes(std::wstring(L"\0", 1)));
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_EQ(SerializeMultiSz(empty).size(), 2u);
}

TEST(MultiSzFormat, MalformedDataKeepsEveryNameAndNeverReadsPastTheEnd)
{
    // No closing empty entry.
    EXPECT_EQ(Parse(Bytes(std::wstring(L"a\0b\0", 4))).entries, (Entries{L"a", L"b"}));
    // Last entry without its own NUL.
    EXPECT_EQ(Parse(Bytes(L"a")).entries, (Entries{L"a"}));
    std::vector<BYTE> unterminated = Bytes(std::wstring(L"one\0two", 7));
    EXPECT_EQ(Parse(unterminated).entries, (Entries{L"one", L"two"}));
    // An odd stray byte is not half a character.
    std::vector<BYTE> odd = Bytes(std::wstring(L"ab\0\0", 4));
    odd.push_back(0x41);
    EXPECT_EQ(Parse(odd).entries, (Entries{L"ab"}));
    std::vector<BYTE> oddUnterminated = Bytes(L"xy");
    oddUnterminated.push_back(0x41);
    EXPECT_EQ(Parse(oddUnterminated).entries, (Entries{L"xy"}));
    // Nothing at all, and a lone byte.
    EXPECT_TRUE(ParseMultiSz(nullptr, 0).entries.empty());
    BYTE lone = 0x41;
    EXPECT_TRUE(ParseMultiSz(&lone, 1).entries.empty());

    // Whatever was parsed is written back well formed.
    EXPECT_EQ(SerializeMultiSz(Parse(unterminated)), Bytes(std::wstring(L"one\0two\0\0", 9)));
}

TEST(MultiSzFormat, DataAfterTheClosingEntryIsKeptVerbatim)
{
    std::vector<BYTE> data = Bytes(std::wstring(L"a\0\0hidden\0\0", 11));
    MultiSzList list = Parse(data);
    EXPECT_EQ(list.entries, (Entries{L"a"}));
    EXPECT_EQ(SerializeMultiSz(list), data);

    // An empty first entry ends the list at once.
    std::vector<BYTE> leadingEmpty = Bytes(std::wstring(L"\0b\0\0", 4));
    MultiSzList none = Parse(leadingEmpty);
    EXPECT_TRUE(none.entries.empty());
    EXPECT_EQ(SerializeMultiSz(none), leadingEmpty);
}

TEST(MultiSzFormat, RemovalMatchesWholeNamesIgnoringCase)
{
    MultiSzList list;
    list.entries = {L"FooFilter", L"foofilter2", L"xfoofilter", L"FOOFILTER", L"bar"};
    EXPECT_EQ(RemoveMatchingEntries(list, L"foofilter"), 2u);
    EXPECT_EQ(list.entries, (Entries{L"foofilter2", L"xfoofilter", L"bar"}));
    EXPECT_EQ(RemoveMatchingEntries(list, L"foo"), 0u);
    EXPECT_EQ(RemoveMatchingEntries(list, L""), 0u);
}

} // namespace
