// The child process runner: starts a console program hidden, captures its standard output and
// delivers it as lines, while the calling thread waits, processing its window messages or not.
// Portable declarations first; the runner itself is Windows-only, at the end.
#pragma once

#include "ExeUnitStrings.h"
#include "ExeUnitLimits.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// ---- what a run leaves behind ------------------------------------------------------------------

// Gathered while the child runs and put into the caller's list once it has ended.
struct TRunRecord {
    // Standard output as the child wrote it, without its zero bytes.
    std::string Output;
    // System error code of the call that ended the capture or kept it from starting.
    uint32_t LastError = 0;
    // Set when waiting for the child's end failed, with the system error code.
    std::optional<uint32_t> WaitError;
    TStopReason Stopped = TStopReason::srNone;

    // One block read from the pipe. A zero byte is dropped on its own; the rest of the block is
    // kept.
    void AppendOutput(std::span<const char> Block);
};

// Puts a finished run into Lines and returns whether any output was captured. Output replaces
// the previous lines; without output the lines are kept and a "readFile failed" line is added.
// A wait failure and a stop are reported in lines after those. OutputText is Record.Output as
// text: UTF-8 where it is well-formed UTF-8 (the flash programmer writes that), else in the
// system's 8-bit code page.
bool DeliverRunRecord(const TRunRecord& Record, const std::wstring& OutputText,
                      const TRunLimits& Limits, TStrings& Lines);

std::wstring ReadFailedLine(uint32_t ErrorCode);
std::wstring WaitFailedLine(uint32_t ErrorCode);

#ifdef _WIN32
// ---- the runner --------------------------------------------------------------------------------
#include "SynchedThreads.h"

// One run of a command line. The fields are set before the run; Lines is the caller's list,
// borrowed, and must not be used by anyone else until the run is over.
class T_ExeWait : public T_UniqueBackgroundObject {
public:
    std::wstring DOSCommandString;
    std::wstring WorkDir; // empty: the caller's current directory
    TStrings* Lines = nullptr;
    bool Result = false;
    TRunLimits Limits;

    // Starts the command line, captures its standard output until it ends (or is stopped by
    // the limits) and delivers the lines. Data is not used.
    void run(void* Data) override;

protected:
    // The waiting thread keeps the limits: it ends a child that passes one and, a retry
    // interval later, breaks off the worker's read if something still holds the pipe.
    DWORD Watch(HANDLE Worker) override;

private:
    void Capture(TRunRecord& Record);
    // The child and everything it started, ended; from either thread.
    void EndChild() const;

    // Set by the worker before FStarted and closed only with the job, so the waiting thread may
    // use them from then on.
    UniqueHandle FProcess;
    UniqueHandle FJob;     // null when the child could not be put into a job
    UniqueHandle FAbandon; // set: the worker no longer waits for the child to end
    std::atomic<bool> FStarted{false};
    std::atomic<uint64_t> FStartMs{0};
    std::atomic<uint64_t> FLastOutputMs{0};
    std::atomic<TStopReason> FStopped{TStopReason::srNone};
    // The waiting thread's own: when it last ended the child.
    std::optional<std::chrono::milliseconds> FStopTakenAt;
};

// Runs CommandLine in WorkDir and puts what it wrote into Lines; true when it wrote anything.
// InBackground runs it while this thread keeps processing its window messages through Dispatch;
// a second background run meanwhile raises EThreadInUse. Otherwise this thread only waits. The
// limits are kept either way.
bool RunDOSCommand(const std::wstring& CommandLine, const std::wstring& WorkDir, TStrings& Lines,
                   bool InBackground, const TRunLimits& Limits = {},
                   const TMessageDispatch& Dispatch = DispatchWaitingMessages);

// The longest command line and working directory the system takes, in UTF-16 code units
// without the terminating zero. Longer ones are refused before the start.
inline constexpr size_t MaxCommandLineLength = 32766;
inline constexpr size_t MaxWorkDirLength = 258; // MAX_PATH less the delimiter and the zero
#endif
