// Windows side, tests only: a program started by a test as Explorer starts it on a double-click:
// from no console, so that a console program it starts in turn gets a new console of its own, as
// it does for a user. It never outlives the test: a child still running when the object goes is
// terminated.
#pragma once

#include "WinHandles.h"

#include <chrono>
#include <optional>
#include <string>

class ChildProcess {
public:
    // Starts the command line (program first) in the given folder (empty: the test's own).
    explicit ChildProcess(const std::wstring& commandLine, const std::wstring& workDir = L"");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD Id() const { return FId; }
    HANDLE Process() const { return FProcess.get(); }
    bool Running() const;
    // The exit code once the child has ended within the time, or nothing.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout);
    void Terminate();

private:
    UniqueHandle FProcess;
    DWORD FId = 0;
};

// The folder of the running test program, with a trailing delimiter: the programs under test
// are built beside it.
std::wstring BinFolder();
