#include "filters/multi_sz.h"
#include <gtest/gtest.h>
TEST(Smoke, Parses) { auto l = ParseMultiSz(reinterpret_cast<const BYTE*>(L"a\0b\0"), 8); EXPECT_EQ(l.entries.size(), 2u); }
