// What the waiting side of a run does when, on a made-up clock: every time below is a literal
// number of milliseconds since an arbitrary zero.
#include "ExeUnitLimits.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using std::chrono::milliseconds;

namespace {

struct StepCase {
    const char* Name;
    TRunLimits Limits;
    milliseconds Start, LastOutput;
    std::optional<milliseconds> Stopped;
    TStopReason StoppedFor;
    milliseconds Now;
    TRunAction Action;
    TStopReason Reason;
    milliseconds Wait;
};

class RunSteps : public testing::TestWithParam<StepCase> {};

TEST_P(RunSteps, SayWhatIsDueAndHowLongToWait) {
    const StepCase& c = GetParam();
    const TRunStep step =
        NextRunStep(c.Limits, c.Start, c.LastOutput, c.Stopped, c.StoppedFor, c.Now);
    EXPECT_EQ(step.Action, c.Action);
    EXPECT_EQ(step.Reason, c.Reason);
    EXPECT_EQ(step.Wait.count(), c.Wait.count());
}

const TRunLimits Limits{300ms, 2000ms, 100ms};

const StepCase StepCases[] = {
    // Started at 1000 with no output yet: silence runs out at 1300, the total at 3000.
    {"FreshRunWaitsForTheSilenceLimit",
     Limits,
     1000ms,
     1000ms,
     {},
     TStopReason::srNone,
     1000ms,
     TRunAction::raWait,
     TStopReason::srNone,
     300ms},
    {"OneMillisecondBeforeTheSilenceLimit",
     Limits,
     1000ms,
     1000ms,
     {},
     TStopReason::srNone,
     1299ms,
     TRunAction::raWait,
     TStopReason::srNone,
     1ms},
    {"SilentRunIsStoppedAtItsLimit",
     Limits,
     1000ms,
     1000ms,
     {},
     TStopReason::srNone,
     1300ms,
     TRunAction::raStop,
     TStopReason::srSilence,
     100ms},
    {"LookedAtLateTheTotalLimitCountsFirst",
     Limits,
     1000ms,
     1000ms,
     {},
     TStopReason::srNone,
     9000ms,
     TRunAction::raStop,
     TStopReason::srTotalTime,
     100ms},
    // Output at 1250 puts the silence limit off to 1550.
    {"OutputPutsOffTheSilenceStop",
     Limits,
     1000ms,
     1250ms,
     {},
     TStopReason::srNone,
     1300ms,
     TRunAction::raWait,
     TStopReason::srNone,
     250ms},
    // Output at 2900: the silence would end at 3200, the total ends first, at 3000.
    {"TotalLimitComesFirst",
     Limits,
     1000ms,
     2900ms,
     {},
     TStopReason::srNone,
     2950ms,
     TRunAction::raWait,
     TStopReason::srNone,
     50ms},
    {"TotalLimitDespiteOutput",
     Limits,
     1000ms,
     2999ms,
     {},
     TStopReason::srNone,
     3000ms,
     TRunAction::raStop,
     TStopReason::srTotalTime,
     100ms},
    // Stopped at 1300 for silence: at 1340 the rest of the retry interval, from 1400 the
    // cancel, and a cancel taken at 1400 is taken again at 1500.
    {"StoppedRunWaitsOutTheRetryInterval", Limits, 1000ms, 1000ms, 1300ms, TStopReason::srSilence,
     1340ms, TRunAction::raWait, TStopReason::srSilence, 60ms},
    {"StillRunningAfterTheIntervalIsCancelled", Limits, 1000ms, 1000ms, 1300ms,
     TStopReason::srSilence, 1400ms, TRunAction::raCancel, TStopReason::srSilence, 100ms},
    {"CancelIsTakenAgainEachInterval", Limits, 1000ms, 1000ms, 1400ms, TStopReason::srSilence,
     1500ms, TRunAction::raCancel, TStopReason::srSilence, 100ms},
    // Output after the stop changes nothing: the child is being ended.
    {"OutputAfterTheStopKeepsTheStop", Limits, 1000ms, 1390ms, 1300ms, TStopReason::srTotalTime,
     1350ms, TRunAction::raWait, TStopReason::srTotalTime, 50ms},
    // The default limits: 120 s of silence, 15 minutes in all.
    {"DefaultLimits",
     TRunLimits{},
     0ms,
     0ms,
     {},
     TStopReason::srNone,
     60000ms,
     TRunAction::raWait,
     TStopReason::srNone,
     60000ms},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunSteps, testing::ValuesIn(StepCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
