// Windows side (test tool): starts a console program the way the updater starts vessa_flash -
// hidden, no creation flags, standard output into a pipe, standard input and standard error not
// connected, the given working directory - and writes what it captured to its own standard
// output. Exit code: the child's, or 2 when it could not be started or did not end in time.
//   flash_run_as_updater WORKDIR COMMANDLINE [TIMEOUT_S]
#include "WinHandles.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: flash_run_as_updater WORKDIR COMMANDLINE [TIMEOUT_S]\n");
        return 2;
    }
    const DWORD timeout_ms = (argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 600) * 1000;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFileHandle read_end, write_end;
    if (!CreatePipe(read_end.put(), write_end.put(), &inherit, 0)) {
        std::fprintf(stderr, "CreatePipe failed: %lu\n", GetLastError());
        return 2;
    }
    SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = write_end.get();
    std::string command = argv[2];
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command.data(), &inherit, &inherit, TRUE, 0, nullptr, argv[1],
                        &startup, &info)) {
        std::fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
        return 2;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    write_end.reset();

    // Read until the pipe ends; the wait for the end is bounded.
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available > 0) {
            char block[4096];
            DWORD read = 0;
            if (!ReadFile(read_end.get(), block, sizeof block, &read, nullptr)) {
                break;
            }
            std::fwrite(block, 1, read, stdout);
            std::fflush(stdout);
        } else if (GetTickCount() - started > timeout_ms) {
            std::fprintf(stderr, "the program did not end within %lu s\n", timeout_ms / 1000);
            TerminateProcess(process.get(), 2);
            return 2;
        } else {
            Sleep(5);
        }
    }
    WaitForSingleObject(process.get(), 10000);
    DWORD code = 2;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}
