// DebugTrace: the line format, and that the line reaches the debugger output.
#include "DebugOutputCapture.h"
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

TEST(DebugTrace, LineCarriesTheTagTheTimeAndTheText) {
    SYSTEMTIME t = {};
    t.wHour = 7;
    t.wMinute = 5;
    t.wSecond = 9;
    t.wMilliseconds = 42;
    EXPECT_EQ(FormatDebugTraceLine(L"LoadLibrary: x.dll", t),
              L"(Quorvel) 07:05:09.042 LoadLibrary: x.dll");
    t.wHour = 23;
    t.wMilliseconds = 999;
    EXPECT_EQ(FormatDebugTraceLine(L"", t), L"(Quorvel) 23:05:09.999 ");
}

TEST(DebugTrace, EnabledLinesReachTheDebuggerOutput) {
    DebugOutputCapture capture;
    DebugTrace(L"first line", true);
    DebugTrace(L"second line", true);
    ASSERT_EQ(capture.Lines().size(), 2u);
    const std::regex line(R"(\(Quorvel\) \d\d:\d\d:\d\d\.\d\d\d (first|second) line)");
    EXPECT_TRUE(std::regex_match(capture.Lines()[0], line)) << capture.Lines()[0];
    EXPECT_TRUE(std::regex_match(capture.Lines()[1], line)) << capture.Lines()[1];
    EXPECT_NE(capture.Lines()[0].find("first"), std::string::npos);
}

TEST(DebugTrace, DisabledLinesAreDropped) {
    DebugOutputCapture capture;
    DebugTrace(L"not shown", false);
    EXPECT_TRUE(capture.Lines().empty());
}

} // namespace
