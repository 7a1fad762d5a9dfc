// Portable side of ExeUnit: how a finished run becomes lines.
#include "ExeUnit.h"

#include <algorithm>

void TRunRecord::AppendOutput(std::span<const char> Block) {
    const size_t before = Output.size();
    Output.append(Block.data(), Block.size());
    Output.erase(
        std::remove(Output.begin() + static_cast<std::ptrdiff_t>(before), Output.end(), '\0'),
        Output.end());
}

std::wstring ReadFailedLine(uint32_t ErrorCode) {
    return L"readFile failed; errorflag = " + std::to_wstring(ErrorCode);
}

std::wstring WaitFailedLine(uint32_t ErrorCode) {
    return L"WaitforSingleObject failed; errorflag = " + std::to_wstring(ErrorCode);
}

bool DeliverRunRecord(const TRunRecord& Record, const std::wstring& OutputText,
                      const TRunLimits& Limits, TStrings& Lines) {
    const bool captured = !Record.Output.empty();
    if (captured) {
        Lines.SetText(OutputText);
    }
    if (Record.WaitError) {
        Lines.Add(WaitFailedLine(*Record.WaitError));
    }
    if (!captured) {
        Lines.Add(ReadFailedLine(Record.LastError));
    }
    if (Record.Stopped != TStopReason::srNone) {
        Lines.Add(StoppedLine(Record.Stopped, Limits));
    }
    return captured;
}
