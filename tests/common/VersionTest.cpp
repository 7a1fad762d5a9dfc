// TVersion: parsing, text forms, packing and comparison.
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const wchar_t* text;
    int32_t required;
    uint16_t missing;
    TVersion expected;
};

class VersionParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(VersionParse, FillsPartsAndValidity) {
    const ParseCase& c = GetParam();
    TVersion v;
    v.Major = v.Minor = v.Release = v.Build = 999;
    v.Valid = !c.expected.Valid;
    v.FromString(c.text, c.required, c.missing);
    EXPECT_EQ(v.Valid, c.expected.Valid);
    EXPECT_EQ(v.Major, c.expected.Major);
    EXPECT_EQ(v.Minor, c.expected.Minor);
    EXPECT_EQ(v.Release, c.expected.Release);
    EXPECT_EQ(v.Build, c.expected.Build);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VersionParse,
    ::testing::Values(
        ParseCase{L"2.0.4", 3, 0, {2, 0, 4, 0, true}},
        ParseCase{L"8.0.1", 3, 0, {8, 0, 1, 0, true}}, ParseCase{L"2.0", 3, 0, {0, 0, 0, 0, false}},
        ParseCase{L"2.0.4.7", 3, 0, {2, 0, 4, 7, true}},
        ParseCase{L"1.2.3.4.5", 3, 0, {0, 0, 0, 0, false}},
        // Empty parts are dropped unless the first part is the empty one.
        ParseCase{L"1.2.3.", 3, 0, {1, 2, 3, 0, true}},
        ParseCase{L"1..2.3", 3, 0, {1, 2, 3, 0, true}},
        ParseCase{L".1.2.3", 3, 0, {0, 1, 2, 3, false}},
        ParseCase{L".1.2.3", 3, 9, {9, 1, 2, 3, false}},
        ParseCase{L"70000.1.2", 3, 0, {0, 1, 2, 0, false}},
        ParseCase{L"65535.0.0", 3, 0, {65535, 0, 0, 0, true}},
        ParseCase{L"-1.0.0", 3, 0, {0, 0, 0, 0, false}},
        ParseCase{L"2.x.4", 3, 0, {2, 0, 4, 0, false}},
        ParseCase{L" 2.0.4", 3, 0, {0, 0, 4, 0, false}}, ParseCase{L"", 3, 0, {0, 0, 0, 0, false}},
        ParseCase{L"", 0, 7, {7, 7, 7, 7, true}}, ParseCase{L"3", 1, 5, {3, 5, 5, 5, true}}));

TEST(Version, ImplicitConversionFromTextUsesThreeRequiredParts) {
    const TVersion v = L"2.1.0";
    EXPECT_TRUE(v.IsValid());
    EXPECT_EQ(v.ToString(3), L"2.1.0");
    const TVersion two = std::wstring(L"2.1");
    EXPECT_FALSE(two.IsValid());
}

struct TextCase {
    TVersion version;
    int32_t parts;
    const wchar_t* expected;
};

class VersionText : public ::testing::TestWithParam<TextCase> {};

TEST_P(VersionText, JoinsTheAskedParts) {
    EXPECT_EQ(GetParam().version.ToString(GetParam().parts), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Parts, VersionText,
                         ::testing::Values(TextCase{{8, 0, 1, 0, true}, 2, L"8.0"},
                                           TextCase{{2, 0, 4, 0, true}, 3, L"2.0.4"},
                                           TextCase{{1, 20, 300, 4000, true}, 4, L"1.20.300.4000"},
                                           TextCase{{7, 1, 1, 1, true}, 1, L"7"},
                                           TextCase{{2, 0, 4, 0, true}, 0, L""},
                                           TextCase{{2, 0, 4, 0, true}, 5, L""},
                                           TextCase{{2, 0, 4, 0, false}, 3, L""}));

TEST(Version, PacksPartsIntoSixteenBitGroups) {
    EXPECT_EQ(TVersion(1, 2, 3, 4, true).ToU64(), 281483566841860ull);
    EXPECT_EQ(TVersion(0xFFFF, 0, 0, 1, true).ToU64(), 0xFFFF000000000001ull);
    EXPECT_EQ(TVersion(1, 2, 3, 4, false).ToU64(), 0u);
}

TEST(Version, ComparesLexicographicallyIncludingBuild) {
    const TVersion low{1, 2, 3, 0, true};
    const TVersion high{1, 2, 3, 1, true};
    EXPECT_TRUE(high.GreaterThan(low, false));
    EXPECT_FALSE(low.GreaterThan(high, true));
    EXPECT_TRUE(low.LessThan(high, false));
    EXPECT_FALSE(low.GreaterThan(low, false));
    EXPECT_TRUE(low.GreaterThan(low, true));
    EXPECT_FALSE(low.LessThan(low, false));
    EXPECT_TRUE(low.LessThan(low, true));
    // Minor outweighs any release and build.
    EXPECT_TRUE(TVersion(1, 3, 0, 0, true).GreaterThan(TVersion(1, 2, 65535, 65535, true), false));
}

TEST(Version, InvalidComparesAsZero) {
    const TVersion invalid{5, 5, 5, 5, false};
    const TVersion zero{0, 0, 0, 0, true};
    EXPECT_TRUE(invalid.GreaterThan(zero, true));
    EXPECT_FALSE(invalid.GreaterThan(zero, false));
    EXPECT_TRUE(invalid.LessThan(TVersion(0, 0, 0, 1, true), false));
}

TEST(Version, InRangeUsesOneFlagForBothBounds) {
    const TVersion low{2, 0, 0, 0, true};
    const TVersion high{3, 0, 0, 0, true};
    EXPECT_TRUE(TVersion(2, 5, 0, 0, true).InRange(low, high, false));
    EXPECT_FALSE(low.InRange(low, high, false));
    EXPECT_TRUE(low.InRange(low, high, true));
    EXPECT_TRUE(high.InRange(low, high, true));
    EXPECT_FALSE(high.InRange(low, high, false));
}

} // namespace

namespace {

TEST(SplitAtEvery, KeepsEveryPieceEmptyOnesIncluded) {
    EXPECT_EQ(SplitAtEvery(L"2.05.177", L'.'), (std::vector<std::wstring>{L"2", L"05", L"177"}));
    EXPECT_EQ(SplitAtEvery(L".a..b.", L'.'),
              (std::vector<std::wstring>{L"", L"a", L"", L"b", L""}));
    EXPECT_EQ(SplitAtEvery(L"", L','), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(SplitAtEvery(L"no separator", L','), (std::vector<std::wstring>{L"no separator"}));
}

} // namespace
