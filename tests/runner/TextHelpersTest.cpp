// SplitString and GetField, the text helpers the main window takes channel data apart with.
#include "ExeUnit.h"

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

} // namespace
