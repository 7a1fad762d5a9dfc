// Portable: the watchdog of a child process run and the words for why a run was stopped.
#include "ExeUnitWatchdog.h"

#include <algorithm>

std::wstring DurationText(std::chrono::milliseconds Duration) {
    using namespace std::chrono;
    const long long ms = Duration.count();
    // Minutes read better from five minutes on; shorter limits in seconds.
    if (ms >= 5 * 60000 && ms % 60000 == 0) {
        const long long minutes = ms / 60000;
        return std::to_wstring(minutes) + (minutes == 1 ? L" minute" : L" minutes");
    }
    std::wstring text = std::to_wstring(ms / 1000);
    long long fraction = ms % 1000;
    if (fraction != 0) {
        std::wstring digits = std::to_wstring(fraction);
        digits.insert(0, 3 - digits.size(), L'0');
        digits.erase(digits.find_last_not_of(L'0') + 1);
        text += L"." + digits;
    }
    return text + (ms == 1000 ? L" second" : L" seconds");
}

std::wstring StoppedLine(TStopReason Reason, const TRunLimits& Limits) {
    switch (Reason) {
    case TStopReason::srSilence:
        return L"The program was stopped: it wrote no output for " + DurationText(Limits.Silence) +
               L".";
    case TStopReason::srTotalTime:
        return L"The program was stopped: it was still running after " +
               DurationText(Limits.Total) + L".";
    case TStopReason::srNone:
        break;
    }
    return {};
}

TRunWatchdog::TRunWatchdog(const TRunLimits& Limits, TStopAction OnStop)
    : FLimits(Limits), FOnStop(std::move(OnStop)), FStart(Clock::now()),
      FLastOutput(FStart.time_since_epoch().count()), FThread([this] { Watch(); }) {}

TRunWatchdog::~TRunWatchdog() {
    Finish();
}

void TRunWatchdog::NoteOutput() noexcept {
    FLastOutput.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

void TRunWatchdog::Finish() {
    {
        std::lock_guard lock(FMutex);
        FFinished = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) {
        FThread.join();
    }
}

void TRunWatchdog::Watch() {
    std::unique_lock lock(FMutex);
    const Clock::time_point totalDeadline = FStart + FLimits.Total;
    TStopReason reason = TStopReason::srNone;
    while (reason == TStopReason::srNone) {
        const Clock::time_point lastOutput{
            Clock::duration(FLastOutput.load(std::memory_order_relaxed))};
        const Clock::time_point silenceDeadline = lastOutput + FLimits.Silence;
        const Clock::time_point now = Clock::now();
        if (now >= totalDeadline) {
            reason = TStopReason::srTotalTime;
        } else if (now >= silenceDeadline) {
            reason = TStopReason::srSilence;
        } else if (FWake.wait_until(lock, std::min(silenceDeadline, totalDeadline),
                                    [this] { return FFinished; })) {
            return;
        }
        // Output since the last look moves the silence deadline: the loop looks again.
    }
    FReason.store(reason);
    for (int attempt = 0;; ++attempt) {
        lock.unlock();
        FOnStop(reason, attempt);
        lock.lock();
        if (FWake.wait_for(lock, FLimits.RetryInterval, [this] { return FFinished; })) {
            return;
        }
    }
}
