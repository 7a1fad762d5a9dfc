// Portable: the time limits of a child process run and the watchdog that enforces them. The
// watchdog only keeps time; what stopping means (ending processes, breaking off a read) is the
// caller's action.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// How long a run may go on. A child that waits for a key in its hidden console never ends by
// itself; these limits are what ends such a run.
struct TRunLimits {
    // Longest stretch without any output.
    std::chrono::milliseconds Silence{std::chrono::seconds(120)};
    // Longest run in all.
    std::chrono::milliseconds Total{std::chrono::minutes(15)};
    // After a stop, how long the run may take to end by itself before the stop action is taken
    // again (and again after each further interval).
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

class TRunWatchdog {
public:
    // Called on the watchdog's own thread, first (Attempt 0) when a limit is passed, then again
    // every RetryInterval until Finish. Must not throw.
    using TStopAction = std::function<void(TStopReason Reason, int Attempt)>;

    // Starts timing the run now.
    TRunWatchdog(const TRunLimits& Limits, TStopAction OnStop);
    ~TRunWatchdog();
    TRunWatchdog(const TRunWatchdog&) = delete;
    TRunWatchdog& operator=(const TRunWatchdog&) = delete;

    // The child has written something: the silence starts again. Cheap; called per read.
    void NoteOutput() noexcept;
    // The run is over: no stop action is taken after this returns.
    void Finish();
    // Why the run was stopped; srNone while it was not.
    TStopReason Reason() const noexcept { return FReason.load(); }

private:
    using Clock = std::chrono::steady_clock;
    void Watch();

    const TRunLimits FLimits;
    const TStopAction FOnStop;
    const Clock::time_point FStart;
    std::atomic<Clock::rep> FLastOutput;
    std::atomic<TStopReason> FReason{TStopReason::srNone};
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FFinished = false;
    std::thread FThread; // last: starts once everything above is set
};
