// Portable: the limits of a child process run, what is due when, and the words for why a run
// was stopped.
#include "ExeUnitLimits.h"

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

TRunStep NextRunStep(const TRunLimits& Limits, std::chrono::milliseconds Start,
                     std::chrono::milliseconds LastOutput,
                     std::optional<std::chrono::milliseconds> Stopped, TStopReason Reason,
                     std::chrono::milliseconds Now) {
    if (Stopped) {
        const std::chrono::milliseconds since = Now - *Stopped;
        if (since >= Limits.RetryInterval) {
            return {TRunAction::raCancel, Reason, Limits.RetryInterval};
        }
        return {TRunAction::raWait, Reason, Limits.RetryInterval - since};
    }
    const std::chrono::milliseconds totalEnds = Start + Limits.Total;
    const std::chrono::milliseconds silenceEnds = LastOutput + Limits.Silence;
    if (Now >= totalEnds) {
        return {TRunAction::raStop, TStopReason::srTotalTime, Limits.RetryInterval};
    }
    if (Now >= silenceEnds) {
        return {TRunAction::raStop, TStopReason::srSilence, Limits.RetryInterval};
    }
    return {TRunAction::raWait, TStopReason::srNone, std::min(totalEnds, silenceEnds) - Now};
}
