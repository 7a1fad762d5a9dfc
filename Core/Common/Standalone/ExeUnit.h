// The child process runner: starts a console program hidden, captures its standard output and
// delivers it as lines, on the calling thread or on a worker thread while the window thread
// keeps processing messages. Also the two text helpers the main window takes channel data apart
// with. Portable declarations first; the runner itself is Windows-only, at the end.
#pragma once

#include "ExeUnitStrings.h"
#include "ExeUnitWatchdog.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// ---- text helpers ------------------------------------------------------------------------------

// Text without its leading and trailing blanks and control characters.
std::wstring Trim(std::wstring_view Text);

// Appends the pieces of Text between separators to List and returns List's count afterwards
// (earlier entries included); 0 and nothing done without a list. The last piece is appended
// only when it is not empty. With TrimParts each piece loses leading and trailing blanks and
// control characters.
int SplitString(const std::wstring& Text, wchar_t Separator, TStrings* List, bool TrimParts);
// Field Index (from 1) of Text between separators; the last field runs to the end. Empty when
// Index is below 1 or Text has fewer than Index-1 separators.
std::wstring GetField(const std::wstring& Text, int Index, wchar_t Separator);

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

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values beyond
// U+10FFFF). Plain ASCII is.
bool IsUtf8(std::string_view Bytes);

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

private:
    void Capture(TRunRecord& Record);
};

// Runs CommandLine in WorkDir and puts what it wrote into Lines; true when it wrote anything.
// InBackground runs it on a worker thread while this thread keeps processing its window
// messages; a second background run meanwhile raises EThreadInUse.
bool RunDOSCommand(const std::wstring& CommandLine, const std::wstring& WorkDir, TStrings& Lines,
                   bool InBackground, const TRunLimits& Limits = {});

// The longest command line and working directory the system takes, in UTF-16 code units
// without the terminating zero. Longer ones are refused before the start.
inline constexpr size_t MaxCommandLineLength = 32766;
inline constexpr size_t MaxWorkDirLength = 258; // MAX_PATH less the delimiter and the zero
#endif
