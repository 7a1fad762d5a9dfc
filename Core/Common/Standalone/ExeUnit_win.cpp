// Windows side of ExeUnit: starting the child hidden with its standard output on a pipe, reading
// the pipe on the worker thread, and, on the waiting thread, ending a child that passes the run's
// limits.
#include "ExeUnit.h"
#include "TextUnit.h"
#include "WinHandles.h"

#include <string_view>
#include <vector>

namespace {

// Bytes asked for per read of the pipe. Every read is a round trip to the system, so blocks of
// 4 KiB capture a fast writer at about a quarter of the rate of these.
constexpr DWORD ReadBlockSize = 65536;
// Exit code of a child the runner ended. Nobody reads it; it only has to be something.
constexpr UINT StoppedExitCode = 1;

// The length the system counts for a working directory: without trailing delimiters.
size_t WorkDirLength(std::wstring_view dir) {
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) {
        dir.remove_suffix(1);
    }
    return dir.size();
}

// The captured bytes as text: UTF-8 when they are (so a path in any script comes through), else
// from the system's 8-bit (ANSI) code page, as a program that knows nothing of UTF-8 writes. The
// output is converted as a whole, so a multi-byte character split between two reads stays
// whole. One call takes at most INT_MAX bytes: longer output goes in pieces that end at a line
// feed, which is never part of a multi-byte character.
std::wstring OutputToText(std::string_view bytes) {
    const UINT codePage = IsUtf8(bytes) ? CP_UTF8 : CP_ACP;
    constexpr size_t MaxPiece = size_t(1) << 30;
    std::wstring text;
    while (!bytes.empty()) {
        size_t piece = bytes.size();
        if (piece > MaxPiece) {
            const size_t lineFeed = bytes.rfind('\n', MaxPiece - 1);
            piece = lineFeed == std::string_view::npos ? MaxPiece : lineFeed + 1;
        }
        const int n = static_cast<int>(piece);
        const int chars = MultiByteToWideChar(codePage, 0, bytes.data(), n, nullptr, 0);
        if (chars > 0) {
            const size_t at = text.size();
            text.resize(at + static_cast<size_t>(chars));
            MultiByteToWideChar(codePage, 0, bytes.data(), n, text.data() + at, chars);
        }
        bytes.remove_prefix(piece);
    }
    return text;
}

std::chrono::milliseconds Now() {
    return std::chrono::milliseconds(GetTickCount64());
}

// Reads the pipe until a read fails: normally when every writer has closed its end.
void ReadUntilFailure(HANDLE readEnd, TRunRecord& record, std::atomic<uint64_t>& lastOutputMs) {
    std::vector<char> block(ReadBlockSize);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(readEnd, block.data(), ReadBlockSize, &got, nullptr)) {
            record.LastError = GetLastError();
            return;
        }
        if (got > 0) {
            record.AppendOutput({block.data(), got});
            lastOutputMs.store(GetTickCount64(), std::memory_order_relaxed);
        }
    }
}

} // namespace

void T_ExeWait::run(void* /*Data*/) {
    if (!Lines) {
        throw Exception(L"The process runner was given no line list");
    }
    TRunRecord record;
    auto deliver = [&] {
        Result = DeliverRunRecord(record, OutputToText(record.Output), Limits, *Lines);
    };
    try {
        Capture(record);
    } catch (...) {
        // What was captured before the error is still delivered.
        deliver();
        throw;
    }
    deliver();
}

void T_ExeWait::Capture(TRunRecord& Record) {
    // Refused rather than cut: the system would shorten a longer command line or fail on it.
    if (DOSCommandString.size() > MaxCommandLineLength ||
        WorkDirLength(WorkDir) > MaxWorkDirLength) {
        Record.LastError = ERROR_FILENAME_EXCED_RANGE;
        return;
    }

    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    UniqueFileHandle readEnd;
    UniqueFileHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) {
        Record.LastError = GetLastError();
        return;
    }
    // The child gets the write end only; our end stays ours.
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    // Standard input reads end-of-file at once and standard error goes nowhere. Left null, both
    // would be replaced by handles of the child's new, hidden console whenever this program has
    // none (as when started from Explorer): a prompt or "Press RETURN" would then wait for a key
    // nobody can type.
    UniqueFileHandle nothing(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                         OPEN_EXISTING, 0, nullptr));
    if (!nothing) {
        Record.LastError = GetLastError();
        return;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nothing.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = nothing.get();

    // The system may write into the command line buffer; the program is taken from it, unquoted
    // blanks included.
    std::wstring commandLine = DOSCommandString;
    PROCESS_INFORMATION started = {};
    // Started suspended so that it is in its job before it can start anything of its own.
    if (!CreateProcessW(nullptr, commandLine.data(), &inheritable, &inheritable, TRUE,
                        CREATE_SUSPENDED, nullptr, WorkDir.empty() ? nullptr : WorkDir.c_str(),
                        &startup, &started)) {
        Record.LastError = GetLastError();
        return;
    }
    FProcess.reset(started.hProcess);
    UniqueHandle mainThread(started.hThread);
    bool resumed = false;
    ScopeGuard endUnstarted([&] {
        if (!resumed) {
            TerminateProcess(FProcess.get(), StoppedExitCode);
        }
    });

    // Without a job (an older system, when this program already runs in one that forbids it)
    // only the child itself can be ended.
    FJob.reset(CreateJobObjectW(nullptr, nullptr));
    if (FJob && !AssignProcessToJobObject(FJob.get(), FProcess.get())) {
        FJob.reset();
    }
    FAbandon.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!FAbandon) {
        Record.LastError = GetLastError();
        return;
    }
    FStartMs = GetTickCount64();
    FLastOutputMs = FStartMs.load();
    FStarted.store(true, std::memory_order_release);
    ScopeGuard noteStop([&] { Record.Stopped = FStopped.load(); });

    if (ResumeThread(mainThread.get()) == static_cast<DWORD>(-1)) {
        Record.LastError = GetLastError();
        return;
    }
    resumed = true;
    // Only the child holds the write end now, so the pipe ends when the child does.
    writeEnd.reset();

    ReadUntilFailure(readEnd.get(), Record, FLastOutputMs);

    // The waiting thread ends a child that does not end by itself, or makes this give up.
    HANDLE waitFor[] = {FProcess.get(), FAbandon.get()};
    if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_FAILED) {
        Record.WaitError = GetLastError();
        // A child we cannot wait for is not left running behind the caller's back.
        EndChild();
        return;
    }
    ReadUntilFailure(readEnd.get(), Record, FLastOutputMs);
}

void T_ExeWait::EndChild() const {
    if (FJob) {
        TerminateJobObject(FJob.get(), StoppedExitCode);
    }
    TerminateProcess(FProcess.get(), StoppedExitCode);
}

DWORD T_ExeWait::Watch(HANDLE Worker) {
    // Until the child runs there is nothing to time; the start takes moments.
    constexpr DWORD StartPollMs = 10;
    if (!FStarted.load(std::memory_order_acquire)) {
        return StartPollMs;
    }
    const std::chrono::milliseconds now = Now();
    const TRunStep step =
        NextRunStep(Limits, std::chrono::milliseconds(FStartMs.load()),
                    std::chrono::milliseconds(FLastOutputMs.load(std::memory_order_relaxed)),
                    FStopTakenAt, FStopped.load(), now);
    switch (step.Action) {
    case TRunAction::raStop:
        // Ending the child and whatever it started closes the pipe, which ends the read.
        FStopped.store(step.Reason);
        EndChild();
        FStopTakenAt = now;
        break;
    case TRunAction::raCancel:
        // Still running: a process beyond reach holds the pipe, or the child cannot end.
        EndChild();
        SetEvent(FAbandon.get());
        CancelSynchronousIo(Worker);
        FStopTakenAt = now;
        break;
    case TRunAction::raWait:
        break;
    }
    const auto wait = step.Wait.count();
    return wait <= 0 ? 0 : wait >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(wait);
}

bool RunDOSCommand(const std::wstring& CommandLine, const std::wstring& WorkDir, TStrings& Lines,
                   bool InBackground, const TRunLimits& Limits, const TMessageDispatch& Dispatch) {
    T_ExeWait job;
    job.DOSCommandString = CommandLine;
    job.WorkDir = WorkDir;
    job.Lines = &Lines;
    job.Limits = Limits;
    // Either way the run is on a worker thread: only a waiting thread can keep the limits.
    job.RunInBackground(InBackground ? Dispatch : nullptr);
    return job.Result;
}
