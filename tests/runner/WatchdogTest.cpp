// The watchdog of a run, on real threads and the real clock: the limits are short, every wait
// of the test is bounded.
#include "ExeUnitWatchdog.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Records the stop actions the watchdog takes.
class StopLog {
public:
    TRunWatchdog::TStopAction Action() {
        return [this](TStopReason reason, int attempt) {
            std::lock_guard lock(FMutex);
            FCalls.push_back({reason, attempt, Clock::now()});
            FChanged.notify_all();
        };
    }
    // Waits (at most Bound) until Count actions were taken; false when they were not.
    bool WaitFor(size_t count, std::chrono::milliseconds bound = 10s) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, bound, [&] { return FCalls.size() >= count; });
    }
    struct Call {
        TStopReason Reason;
        int Attempt;
        Clock::time_point At;
    };
    std::vector<Call> Calls() {
        std::lock_guard lock(FMutex);
        return FCalls;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<Call> FCalls;
};

struct WatchCase {
    const char* Name;
    TRunLimits Limits;
    std::chrono::milliseconds FeedFor; // output every 10 ms for this long (or until stopped)
    TStopReason Expected;
    std::chrono::milliseconds Earliest; // the stop must not come before this
};

class WatchdogLimits : public testing::TestWithParam<WatchCase> {};

TEST_P(WatchdogLimits, StopsForTheRightReasonAndNotEarly) {
    const WatchCase& c = GetParam();
    StopLog log;
    const Clock::time_point start = Clock::now();
    TRunWatchdog watchdog(c.Limits, log.Action());
    while (Clock::now() - start < c.FeedFor && log.Calls().empty()) {
        watchdog.NoteOutput();
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(log.WaitFor(1)) << "no stop within the bound";
    watchdog.Finish();
    const std::vector<StopLog::Call> calls = log.Calls();
    EXPECT_EQ(calls[0].Reason, c.Expected);
    EXPECT_EQ(calls[0].Attempt, 0);
    EXPECT_EQ(watchdog.Reason(), c.Expected);
    EXPECT_GE(calls[0].At - start, c.Earliest);
}

const WatchCase WatchCases[] = {
    {"SilentRunIsStopped", {300ms, 20s, 1s}, 0ms, TStopReason::srSilence, 300ms},
    {"OutputPutsOffTheSilenceStop", {400ms, 20s, 1s}, 1000ms, TStopReason::srSilence, 1380ms},
    {"TotalLimitDespiteOutput", {1000ms, 1200ms, 1s}, 20s, TStopReason::srTotalTime, 1200ms},
};

INSTANTIATE_TEST_SUITE_P(Cases, WatchdogLimits, testing::ValuesIn(WatchCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Watchdog, RunFinishedInTimeIsNeverStopped) {
    StopLog log;
    {
        TRunWatchdog watchdog({300ms, 300ms, 50ms}, log.Action());
        std::this_thread::sleep_for(50ms);
        watchdog.Finish();
        EXPECT_EQ(watchdog.Reason(), TStopReason::srNone);
    }
    // Well past both limits: nothing may come after Finish.
    std::this_thread::sleep_for(600ms);
    EXPECT_TRUE(log.Calls().empty());
}

TEST(Watchdog, StopIsTakenAgainUntilTheRunIsOver) {
    StopLog log;
    TRunWatchdog watchdog({100ms, 20s, 100ms}, log.Action());
    ASSERT_TRUE(log.WaitFor(3));
    watchdog.Finish();
    const size_t taken = log.Calls().size();
    std::this_thread::sleep_for(400ms);
    const std::vector<StopLog::Call> calls = log.Calls();
    EXPECT_EQ(calls.size(), taken) << "a stop action after Finish";
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].Attempt, static_cast<int>(i));
        EXPECT_EQ(calls[i].Reason, TStopReason::srSilence);
        if (i > 0) {
            EXPECT_GE(calls[i].At - calls[i - 1].At, 100ms);
        }
    }
}

} // namespace
