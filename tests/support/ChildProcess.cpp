// Windows side, tests only: child processes of a test.
#include "ChildProcess.h"

#include "UniversalTypesUnit.h"

#include <stdexcept>
#include <vector>

ChildProcess::ChildProcess(const std::wstring& commandLine, const std::wstring& workDir) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    // Started from the test's console, the updater would hand that console on to the flash
    // programmer, whose standard input then stays unconnected; started from Explorer, it has
    // none, and what the flash programmer gets is a new console that nobody can type into.
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &startup, &info)) {
        throw std::runtime_error("cannot start " + WideToUtf8(commandLine) + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    CloseHandle(info.hThread);
    FProcess.reset(info.hProcess);
    FId = info.dwProcessId;
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        Terminate();
    }
}

bool ChildProcess::Running() const {
    return FProcess && WaitForSingleObject(FProcess.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(FProcess.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(FProcess.get(), &code);
    return code;
}

void ChildProcess::Terminate() {
    TerminateProcess(FProcess.get(), 255);
    WaitForSingleObject(FProcess.get(), 5000);
}

std::wstring BinFolder() {
    return GetExeFolder();
}
