// Portable: the time limits of a child process run, and what the side that waits for the run
// does about them. It keeps no time of its own: given the limits and the times of the start,
// the last output, the stop (once there was one) and now, NextRunStep says what is due now and
// how long the wait may then last, so it is tested with any clock.
#pragma once

#include <chrono>
#include <optional>
#include <string>

// How long a run may go on. A child that waits for a key in its hidden console never ends by
// itself; these limits are what ends such a run.
struct TRunLimits {
    // Longest stretch without any output.
    std::chrono::milliseconds Silence{std::chrono::seconds(120)};
    // Longest run in all.
    std::chrono::milliseconds Total{std::chrono::minutes(15)};
    // After a stop, how long the run may take to end by itself before the read of its output is
    // broken off (and again after each further interval, for a read that starts late).
    std::chrono::milliseconds RetryInterval{std::chrono::seconds(1)};
};

enum class TStopReason {
    srNone,     // the run ended by itself
    srSilence,  // no output for longer than TRunLimits::Silence
    srTotalTime // running for longer than TRunLimits::Total
};

// The last line of a stopped run's output: says in plain words that the program was stopped
// and why. Empty for srNone.
std::wstring StoppedLine(TStopReason Reason, const TRunLimits& Limits);
// A duration in words: "15 minutes", "120 seconds", "1.5 seconds", "1 second".
std::wstring DurationText(std::chrono::milliseconds Duration);

enum class TRunAction {
    raWait,   // nothing is due
    raStop,   // a limit has passed: end the child and everything it started
    raCancel, // stopped a retry interval ago and still running: break off the read
};

struct TRunStep {
    TRunAction Action;
    TStopReason Reason;             // of the stop due now or taken before; srNone while none
    std::chrono::milliseconds Wait; // until the next step can be due
};

// Times are milliseconds on any one clock. Stopped is when the last stop or cancel was taken,
// and Reason why the run was stopped, once it was.
TRunStep NextRunStep(const TRunLimits& Limits, std::chrono::milliseconds Start,
                     std::chrono::milliseconds LastOutput,
                     std::optional<std::chrono::milliseconds> Stopped, TStopReason Reason,
                     std::chrono::milliseconds Now);
