// Windows side: drives the emulated gateway through its control tool, vg730emu.exe, which lies
// beside the test programs: a real process, as a person at a prompt would run it.
#pragma once

#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <string>
#include <vector>

namespace emulator_tool {

struct Result {
    DWORD ExitCode = 0;
    std::string Output;
    std::string Failure; // why the tool could not be run to its end; empty when it was
};

// Runs vg730emu with the arguments; gives up (and says so) after TimeoutMs.
inline Result Run(const std::wstring& arguments, DWORD TimeoutMs = 60000) {
    Result result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        result.Failure = "CreatePipe failed";
        result.ExitCode = ~0u;
        return result;
    }
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    startup.hStdInput = nullptr;
    std::wstring commandLine = L"\"" + GetExeFolder() + L"vg730emu.exe\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, GetExeFolder().c_str(), &startup, &process)) {
        result.Failure = "cannot start vg730emu (error " + std::to_string(GetLastError()) + ")";
        result.ExitCode = ~0u;
        return result;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writer.reset();

    // Read until the tool has ended and its output is drained, or the time is up. A process
    // the tool started may still hold the pipe, so the tool's end decides, not the pipe's.
    const DWORD start = GetTickCount();
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available > 0) {
            DWORD got = 0;
            if (!ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) || got == 0) {
                break;
            }
            result.Output.append(buffer, got);
            continue;
        }
        if (WaitForSingleObject(processHandle.get(), 10) == WAIT_OBJECT_0) {
            if (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) &&
                available > 0) {
                continue;
            }
            break;
        }
        if (GetTickCount() - start > TimeoutMs) {
            TerminateProcess(processHandle.get(), 1);
            WaitForSingleObject(processHandle.get(), 5000);
            result.Failure = "vg730emu " + WideToUtf8(arguments) + " did not end in " +
                             std::to_string(TimeoutMs) + " ms";
            result.ExitCode = ~0u;
            return result;
        }
    }
    WaitForSingleObject(processHandle.get(), 5000);
    GetExitCodeProcess(processHandle.get(), &result.ExitCode);
    return result;
}

} // namespace emulator_tool
