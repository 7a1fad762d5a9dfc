// Windows side (tests): the child roles of the runner's test binaries. Each writes exactly the
// bytes it is given, to the standard handle it is given, so a test knows what the runner must
// deliver.
//
//   write PAUSE HEX...   each HEX block to standard output, PAUSE ms between blocks, then ends
//   stderr HEX           HEX to standard error only
//   echo ...             its command line and its working directory, one line each
//   silent HEX           "pid N", then HEX, then nothing more while it lives
//   chatter              "pid N", then a line every 50 ms while it lives
//   spawn HEX            writes "parent done", starts "silent HEX" with its own standard
//                        output and ends
//   closeout             "pid N", "bye", closes its standard output and lives on
//   lend PID HEX         HEX, then gives a copy of its standard output to process PID (which
//                        is outside the child's reach), writes "lent HANDLE" and ends
//   bulk MEGABYTES       lines of 80 characters, numbered, until MEGABYTES * 2^20 bytes
#include "RunnerChild.h"
#include "WinHandles.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

HANDLE StdOut() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

std::string FromHex(const char* hex) {
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes.push_back(static_cast<char>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(std::max(n, 0)), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                            nullptr, nullptr);
    }
    return bytes;
}

std::string PidLine() {
    return "pid " + std::to_string(GetCurrentProcessId()) + "\r\n";
}

int Write(int argc, char** argv) {
    const DWORD pause = argc > 0 ? std::strtoul(argv[0], nullptr, 10) : 0;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            Sleep(pause);
        }
        if (!WriteAll(StdOut(), FromHex(argv[i]))) {
            return 2;
        }
    }
    return 0;
}

int Echo() {
    wchar_t dir[1024] = {};
    GetCurrentDirectoryW(1024, dir);
    const std::string text = Narrow(GetCommandLineW()) + "\r\n" + Narrow(dir) + "\r\n";
    return WriteAll(StdOut(), text) ? 0 : 2;
}

int Silent(const char* hex) {
    WriteAll(StdOut(), PidLine() + FromHex(hex));
    Sleep(ChildLifetimeBound);
    return 0;
}

int Chatter() {
    WriteAll(StdOut(), PidLine());
    for (DWORD tick = 0; tick * 50 < ChildLifetimeBound; ++tick) {
        if (!WriteAll(StdOut(), "tick " + std::to_string(tick) + "\r\n")) {
            return 2;
        }
        Sleep(50);
    }
    return 0;
}

int Spawn(const char* hex) {
    if (!WriteAll(StdOut(), "parent done\r\n")) {
        return 2;
    }
    std::wstring commandLine = ChildCommandLine(L"silent " + std::wstring(hex, hex + strlen(hex)));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = StdOut();
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return 3;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    return 0;
}

int CloseOut() {
    WriteAll(StdOut(), PidLine() + "bye\r\n");
    CloseHandle(StdOut());
    Sleep(ChildLifetimeBound);
    return 0;
}

int Lend(const char* pid, const char* hex) {
    if (!WriteAll(StdOut(), FromHex(hex))) {
        return 2;
    }
    UniqueHandle target(OpenProcess(PROCESS_DUP_HANDLE, FALSE, std::strtoul(pid, nullptr, 10)));
    // The copy belongs to the target process from now on; it is not ours to close.
    HANDLE lent = nullptr;
    if (!target || !DuplicateHandle(GetCurrentProcess(), StdOut(), target.get(), &lent, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS)) {
        return 3;
    }
    const std::string line = "lent " + std::to_string(reinterpret_cast<uintptr_t>(lent)) + "\r\n";
    return WriteAll(StdOut(), line) ? 0 : 2;
}

int Bulk(const char* megabytes) {
    const size_t total = std::strtoull(megabytes, nullptr, 10) << 20;
    std::vector<char> buffer;
    buffer.reserve(1 << 16);
    char line[96];
    size_t written = 0;
    for (unsigned number = 0; written < total; ++number) {
        // 80 characters: the number, a blank, and filler that changes with the number.
        std::snprintf(line, sizeof line, "%010u ", number);
        for (int i = 11; i < 80; ++i) {
            line[i] = static_cast<char>('A' + (number + i) % 26);
        }
        line[80] = '\r';
        line[81] = '\n';
        buffer.insert(buffer.end(), line, line + 82);
        written += 82;
        if (buffer.size() + 82 > (1 << 16) || written >= total) {
            if (!WriteAll(StdOut(), {buffer.data(), buffer.size()})) {
                return 2;
            }
            buffer.clear();
        }
    }
    return 0;
}

} // namespace

bool IsChildInvocation(int argc, char** argv) {
    return argc >= 3 && std::strcmp(argv[1], "--child") == 0;
}

int RunChildRole(int argc, char** argv) {
    const std::string role = argv[2];
    char** args = argv + 3;
    const int count = argc - 3;
    if (role == "write") {
        return Write(count, args);
    }
    if (role == "stderr" && count == 1) {
        return WriteAll(GetStdHandle(STD_ERROR_HANDLE), FromHex(args[0])) ? 0 : 2;
    }
    if (role == "echo") {
        return Echo();
    }
    if (role == "silent" && count == 1) {
        return Silent(args[0]);
    }
    if (role == "chatter") {
        return Chatter();
    }
    if (role == "spawn" && count == 1) {
        return Spawn(args[0]);
    }
    if (role == "closeout") {
        return CloseOut();
    }
    if (role == "lend" && count == 2) {
        return Lend(args[0], args[1]);
    }
    if (role == "bulk" && count == 1) {
        return Bulk(args[0]);
    }
    std::fprintf(stderr, "unknown child role %s\n", role.c_str());
    return 9;
}

std::wstring OwnExePath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::wstring ChildCommandLine(const std::wstring& Args) {
    return L"\"" + OwnExePath() + L"\" --child " + Args;
}

std::wstring Hex(std::string_view Bytes) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring hex;
    hex.reserve(Bytes.size() * 2);
    for (unsigned char b : Bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}
