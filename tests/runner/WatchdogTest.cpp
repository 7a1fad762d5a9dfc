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

// When the test told the watchdog about output: the watchdog took its time somewhere in between.
struct Note {
    Clock::time_point Before, After;
};

// Whether a silence stop at At can be right, whatever the scheduler did: after some output (or
// the start) no further output came for the whole limit, and that limit ran out by At. Output
// every 10 ms leaves no such gap unless the test itself stood still that long.
bool SilenceRanOutBefore(const std::vector<Note>& notes, Clock::time_point At,
                         std::chrono::milliseconds Silence) {
    for (size_t i = 0; i < notes.size(); ++i) {
        const Clock::time_point runsOut = notes[i].Before + Silence;
        if (runsOut <= At && (i + 1 == notes.size() || notes[i + 1].After >= runsOut)) {
            return true;
        }
    }
    return false;
}

struct WatchCase {
    const char* Name;
    TRunLimits Limits;
    std::chrono::milliseconds FeedFor; // output every 10 ms for this long (or until stopped)
    TStopReason Expected;
};

class WatchdogLimits : public testing::TestWithParam<WatchCase> {};

// The limits are real time: a test that stands still for a while sees a silence a quick one
// does not. So a stop is judged by what the watchdog was told and when, never by a schedule.
TEST_P(WatchdogLimits, StopsForTheRightReasonAndNotEarly) {
    const WatchCase& c = GetParam();
    StopLog log;
    std::vector<Note> notes{{Clock::now(), Clock::now()}}; // the start counts as output
    TRunWatchdog watchdog(c.Limits, log.Action());
    while (Clock::now() - notes.front().Before < c.FeedFor && log.Calls().empty()) {
        const Clock::time_point before = Clock::now();
        watchdog.NoteOutput();
        notes.push_back({before, Clock::now()});
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(log.WaitFor(1)) << "no stop within the bound";
    watchdog.Finish();
    const std::vector<StopLog::Call> calls = log.Calls();
    EXPECT_EQ(calls[0].Reason, c.Expected);
    EXPECT_EQ(calls[0].Attempt, 0);
    EXPECT_EQ(watchdog.Reason(), c.Expected);
    if (c.Expected == TStopReason::srSilence) {
        EXPECT_TRUE(SilenceRanOutBefore(notes, calls[0].At, c.Limits.Silence))
            << "stopped for silence while output was coming";
    } else {
        EXPECT_GE(calls[0].At - notes.front().Before, c.Limits.Total);
    }
}

// Silence limits far beyond any stall where the total limit is what must end the run.
const WatchCase WatchCases[] = {
    {"SilentRunIsStopped", {300ms, 20s, 1s}, 0ms, TStopReason::srSilence},
    {"OutputPutsOffTheSilenceStop", {400ms, 20s, 1s}, 1000ms, TStopReason::srSilence},
    {"TotalLimitDespiteOutput", {60s, 1200ms, 1s}, 20s, TStopReason::srTotalTime},
};

INSTANTIATE_TEST_SUITE_P(Cases, WatchdogLimits, testing::ValuesIn(WatchCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Limits no stall reaches: the run is finished before them, whenever the test gets to it.
TEST(Watchdog, RunFinishedInTimeIsNeverStopped) {
    StopLog log;
    {
        TRunWatchdog watchdog({60s, 60s, 50ms}, log.Action());
        std::this_thread::sleep_for(50ms);
        watchdog.Finish();
        EXPECT_EQ(watchdog.Reason(), TStopReason::srNone);
    }
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
