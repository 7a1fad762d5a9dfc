// How a finished run becomes lines: output blocks joined, zero bytes dropped, and the lines that
// report a failed start, a failed wait and a stopped child.
#include "ExeUnit.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

std::string Bytes(std::initializer_list<std::string_view> blocks) {
    TRunRecord record;
    for (std::string_view block : blocks) {
        record.AppendOutput(block);
    }
    return record.Output;
}

TEST(TRunRecord, ZeroBytesAloneAreDropped) {
    using namespace std::string_literals;
    EXPECT_EQ(Bytes({"ab\0cd\r\n"s}), "abcd\r\n");
    EXPECT_EQ(Bytes({"\0\0x\0"s, "y\0"s}), "xy");
    EXPECT_EQ(Bytes({"\0"s}), "");
}

TEST(TRunRecord, BlocksJoinWithoutGaps) {
    const std::string first(4096, 'a');
    const std::string second = "bb\r\ncc";
    EXPECT_EQ(Bytes({first, second, "\r\n"}), first + second + "\r\n");
}

struct DeliverCase {
    const char* Name;
    std::string Output; // bytes captured
    std::optional<uint32_t> WaitError;
    uint32_t LastError;
    TStopReason Stopped;
    bool Captured;
    std::vector<std::wstring> Lines; // the caller's list afterwards, which held "before"
};

class DeliverTest : public testing::TestWithParam<DeliverCase> {};

TEST_P(DeliverTest, PutsTheRunIntoTheList) {
    const DeliverCase& c = GetParam();
    TRunRecord record;
    record.AppendOutput(c.Output);
    record.WaitError = c.WaitError;
    record.LastError = c.LastError;
    record.Stopped = c.Stopped;
    std::wstring text(c.Output.begin(), c.Output.end());
    TStrings lines{L"before"};
    const TRunLimits limits{30s, 10min, 1s};
    EXPECT_EQ(DeliverRunRecord(record, text, limits, lines), c.Captured);
    EXPECT_EQ(lines.Lines(), c.Lines);
}

const DeliverCase DeliverCases[] = {
    {"OutputReplacesTheLines", "a\r\nb\r\n", {}, 109, TStopReason::srNone, true, {L"a", L"b"}},
    {"NoOutputKeepsTheLines",
     "",
     {},
     109,
     TStopReason::srNone,
     false,
     {L"before", L"readFile failed; errorflag = 109"}},
    {"FailedStartCode",
     "",
     {},
     2,
     TStopReason::srNone,
     false,
     {L"before", L"readFile failed; errorflag = 2"}},
    {"WaitFailureAfterTheOutput",
     "a\n",
     6u,
     109,
     TStopReason::srNone,
     true,
     {L"a", L"WaitforSingleObject failed; errorflag = 6"}},
    {"WaitFailureWithoutOutput",
     "",
     6u,
     109,
     TStopReason::srNone,
     false,
     {L"before", L"WaitforSingleObject failed; errorflag = 6",
      L"readFile failed; errorflag = 109"}},
    {"SilenceStopIsTheLastLine",
     "a\r\nhalf",
     {},
     109,
     TStopReason::srSilence,
     true,
     {L"a", L"half", L"The program was stopped: it wrote no output for 30 seconds."}},
    {"TotalStopWithoutOutput",
     "",
     {},
     109,
     TStopReason::srTotalTime,
     false,
     {L"before", L"readFile failed; errorflag = 109",
      L"The program was stopped: it was still running after 10 minutes."}},
    {"OnlyZeroBytesIsNoOutput",
     std::string(3, '\0'),
     {},
     109,
     TStopReason::srNone,
     false,
     {L"before", L"readFile failed; errorflag = 109"}},
    {"OnlyALineBreakIsOutput", "\r\n", {}, 109, TStopReason::srNone, true, {L""}},
};

INSTANTIATE_TEST_SUITE_P(Cases, DeliverTest, testing::ValuesIn(DeliverCases),
                         [](const auto& info) { return std::string(info.param.Name); });

struct DurationCase {
    std::chrono::milliseconds Duration;
    std::wstring Text;
};

TEST(StoppedLine, NamesTheLimitInWords) {
    const DurationCase cases[] = {
        {120s, L"120 seconds"},    {15min, L"15 minutes"},  {5min, L"5 minutes"},
        {4min, L"240 seconds"},    {61min, L"61 minutes"},  {1s, L"1 second"},
        {1500ms, L"1.5 seconds"},  {300ms, L"0.3 seconds"}, {5ms, L"0.005 seconds"},
        {2050ms, L"2.05 seconds"}, {0ms, L"0 seconds"},
    };
    for (const DurationCase& c : cases) {
        EXPECT_EQ(DurationText(c.Duration), c.Text) << c.Duration.count() << " ms";
    }
    const TRunLimits defaults;
    EXPECT_EQ(StoppedLine(TStopReason::srSilence, defaults),
              L"The program was stopped: it wrote no output for 120 seconds.");
    EXPECT_EQ(StoppedLine(TStopReason::srTotalTime, defaults),
              L"The program was stopped: it was still running after 15 minutes.");
    EXPECT_EQ(StoppedLine(TStopReason::srNone, defaults), L"");
}

} // namespace
