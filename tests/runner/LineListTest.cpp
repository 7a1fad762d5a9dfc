// The line list: breaking text into lines as the runner delivers them, and the text form an
// edit control holds.
#include "ExeUnitStrings.h"

#include <gtest/gtest.h>

namespace {

struct LinesCase {
    const char* Name;
    std::wstring Text;
    std::vector<std::wstring> Lines;
};

class SplitLinesTest : public testing::TestWithParam<LinesCase> {};

TEST_P(SplitLinesTest, BreaksAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitLines(GetParam().Text), GetParam().Lines);
}

const LinesCase LinesCases[] = {
    {"CrLf", L"a\r\nb\r\n", {L"a", L"b"}},
    {"LoneLf", L"a\nb", {L"a", L"b"}},
    {"LoneCr", L"a\rb", {L"a", L"b"}},
    {"NoBreakAtTheEnd", L"a\r\nb", {L"a", L"b"}},
    {"EmptyLinesInside", L"a\r\n\r\nb", {L"a", L"", L"b"}},
    {"LfThenCrIsTwoBreaks", L"a\n\rb", {L"a", L"", L"b"}},
    {"CrCrLf", L"a\r\r\nb", {L"a", L"", L"b"}},
    {"OnlyABreak", L"\r\n", {L""}},
    {"Empty", L"", {}},
    {"BreaksFirst", L"\n\na", {L"", L"", L"a"}},
    {"Mixed", L"one\rtwo\nthree\r\nfour", {L"one", L"two", L"three", L"four"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, SplitLinesTest, testing::ValuesIn(LinesCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TStrings, SetTextReplacesTheLines) {
    TStrings list{L"old"};
    list.SetText(L"a\rb");
    EXPECT_EQ(list, (TStrings{L"a", L"b"}));
}

TEST(TStrings, TextReadsBackIntoTheSameLines) {
    const TStrings cases[] = {{}, {L""}, {L"a"}, {L"a", L""}, {L"", L"b", L""}, {L"x y", L"z"}};
    for (const TStrings& lines : cases) {
        TStrings back;
        back.SetText(lines.Text());
        EXPECT_EQ(back, lines) << "text: " << testing::PrintToString(lines.Text());
    }
    EXPECT_EQ((TStrings{L"a", L"b"}).Text(), L"a\r\nb\r\n");
}

} // namespace
