// The updater's text helpers: SplitString and GetField, which the main window takes channel data
// apart with, TryTextToByte (whole numbers from 0 to 255 only), and telling UTF-8 from the code
// page.
#include "TextUnit.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct SplitCase {
    const char* Name;
    std::wstring Text;
    wchar_t Separator;
    bool TrimParts;
    std::vector<std::wstring> Before; // entries the list already holds
    std::vector<std::wstring> After;  // the whole list afterwards
};

class SplitStringTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitStringTest, AppendsThePiecesAndCountsTheWholeList) {
    const SplitCase& c = GetParam();
    TStrings list;
    for (const std::wstring& line : c.Before) {
        list.Add(line);
    }
    const int count = SplitString(c.Text, c.Separator, &list, c.TrimParts);
    EXPECT_EQ(list.Lines(), c.After);
    EXPECT_EQ(count, static_cast<int>(c.After.size()));
}

const SplitCase SplitCases[] = {
    {"VersionWithTrim", L"2.05.177", L'.', true, {}, {L"2", L"05", L"177"}},
    {"EmptyMiddlePiece", L"2..1", L'.', true, {}, {L"2", L"", L"1"}},
    {"TrailingSeparatorAddsNothing", L"2.05.", L'.', false, {}, {L"2", L"05"}},
    {"LeadingSeparatorGivesEmptyFirst", L".5.1", L'.', false, {}, {L"", L"5", L"1"}},
    {"NoSeparatorIsOnePiece", L"12", L'.', false, {}, {L"12"}},
    {"EmptyTextAppendsNothing", L"", L'.', false, {L"kept"}, {L"kept"}},
    {"OnlySeparators", L"..", L'.', false, {}, {L"", L""}},
    {"CountIncludesEarlierEntries", L"a b", L' ', false, {L"x", L"y"}, {L"x", L"y", L"a", L"b"}},
    {"TrimTakesBlanksAndControls", L" 2 .\t05\r. 177 ", L'.', true, {}, {L"2", L"05", L"177"}},
    {"WithoutTrimBlanksStay", L" 2 . 05", L'.', false, {}, {L" 2 ", L" 05"}},
    {"BlankLastPieceIsNotEmpty", L"a. ", L'.', true, {}, {L"a", L""}},
    {"OtherSeparator", L"VG730 #3", L'#', true, {}, {L"VG730", L"3"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SplitStringTest, testing::ValuesIn(SplitCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SplitString, WithoutAListDoesNothing) {
    EXPECT_EQ(SplitString(L"2.05.177", L'.', nullptr, true), 0);
}

struct FieldCase {
    const char* Name;
    std::wstring Text;
    int Index;
    wchar_t Separator;
    std::wstring Expected;
};

class GetFieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldTest, ReturnsTheField) {
    const FieldCase& c = GetParam();
    EXPECT_EQ(GetField(c.Text, c.Index, c.Separator), c.Expected);
}

const FieldCase FieldCases[] = {
    {"FirstBeforeBlank", L"0 more text", 1, L' ', L"0"},
    {"FirstWithoutSeparatorIsAll", L"12", 1, L' ', L"12"},
    {"Middle", L"a b c", 2, L' ', L"b"},
    {"LastRunsToTheEnd", L"a b c", 3, L' ', L"c"},
    {"BeyondTheLast", L"a b c", 4, L' ', L""},
    {"AfterTrailingSeparatorIsEmpty", L"a b ", 3, L' ', L""},
    {"BetweenTwoSeparators", L"a  b", 2, L' ', L""},
    {"AfterAnEmptyField", L"a  b", 3, L' ', L"b"},
    {"IndexZero", L"a b", 0, L' ', L""},
    {"IndexNegative", L"a b", -1, L' ', L""},
    {"EmptyText", L"", 1, L' ', L""},
    {"EmptyTextSecondField", L"", 2, L' ', L""},
    {"OtherSeparator", L"2.05.177", 2, L'.', L"05"},
};

INSTANTIATE_TEST_SUITE_P(Cases, GetFieldTest, testing::ValuesIn(FieldCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- TryTextToByte ----------------------------------------------------------------------------

struct ByteCase {
    const wchar_t* text;
    bool ok;
    uint8_t value;
};

class TextToByte : public ::testing::TestWithParam<ByteCase> {};

TEST_P(TextToByte, ConvertsOrGivesZero) {
    uint8_t value = 77;
    EXPECT_EQ(TryTextToByte(GetParam().text, value), GetParam().ok);
    EXPECT_EQ(value, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextToByte,
                         ::testing::Values(ByteCase{L"255", true, 255}, ByteCase{L"0", true, 0},
                                           ByteCase{L"12", true, 12}, ByteCase{L"256", false, 0},
                                           ByteCase{L"-1", false, 0}, ByteCase{L"", false, 0},
                                           ByteCase{L"abc", false, 0}, ByteCase{L"1x", false, 0},
                                           ByteCase{L"99999999999999999999", false, 0}));

// ---- IsUtf8 -----------------------------------------------------------------------------------

struct Utf8Case {
    const char* Name;
    std::string Bytes;
    bool Utf8;
};

class IsUtf8Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(IsUtf8Test, TellsUtf8FromTheCodePage) {
    EXPECT_EQ(IsUtf8(GetParam().Bytes), GetParam().Utf8);
}

const Utf8Case Utf8Cases[] = {
    {"Empty", "", true},
    {"Ascii", "Loading image file 'C:\\VG730\\x.img'...OK.\r\n", true},
    {"TwoBytes", "\xc5\x81ukasz", true},              // U+0141
    {"ThreeBytes", "\xe5\xbc\xa0\xe4\xbc\x9f", true}, // U+5F20 U+4F1F
    {"FourBytes", "\xf0\x9f\x98\x80", true},          // U+1F600
    {"HighestValue", "\xf4\x8f\xbf\xbf", true},       // U+10FFFF
    {"Cp1252Umlaut", "gr\xfc\xdf", false},            // a lead byte without its tail
    {"LoneContinuation",
     "a\x80"
     "b",
     false},
    {"CutShort", "\xe5\xbc", false},
    {"Overlong", "\xc0\xaf", false}, // "/" in two bytes
    {"OverlongThreeBytes", "\xe0\x80\xaf", false},
    {"Surrogate", "\xed\xa0\x80", false},         // U+D800
    {"BeyondUnicode", "\xf4\x90\x80\x80", false}, // U+110000
    {"FiveByteLead", "\xf8\x88\x80\x80\x80", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, IsUtf8Test, testing::ValuesIn(Utf8Cases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
