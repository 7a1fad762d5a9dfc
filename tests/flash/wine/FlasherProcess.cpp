// Windows side (tests): child process runner for vessa_flash.exe with pipes.
#include "FlasherProcess.h"

#include "ProgramsUnderTest.h"
#include "WinHandles.h"

#include <regex>

namespace flash_wine {

namespace {

std::string fold_line_ends(const std::string& text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        folded.push_back(text[i]);
    }
    return folded;
}

std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string q = "\"";
    for (char c : argument) {
        if (c == '"') {
            q += '\\';
        }
        q += c;
    }
    return q + "\"";
}

std::wstring utf8_to_wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

// Moves what the pipe holds now into text; false once the pipe has ended.
bool drain(HANDLE pipe, std::string& text) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            return false;
        }
        if (available == 0) {
            return true;
        }
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || read == 0) {
            return false;
        }
        text.append(buffer, read);
    }
}

// The console of this test process, made once: children given its input as standard input read
// their keys from it. The test's own standard handles stay the pipes of the test runner.
HANDLE shared_console_input() {
    static const HANDLE input = [] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        FreeConsole();
        AllocConsole();
        SetStdHandle(STD_INPUT_HANDLE, in);
        SetStdHandle(STD_OUTPUT_HANDLE, out);
        SetStdHandle(STD_ERROR_HANDLE, err);
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    }();
    return input;
}

// Presses and releases one key per character, as the keyboard would deliver them.
void type_keys(HANDLE console, const std::string& keys) {
    for (char c : keys) {
        INPUT_RECORD press[2] = {};
        for (int i = 0; i < 2; ++i) {
            KEY_EVENT_RECORD& key = press[i].Event.KeyEvent;
            press[i].EventType = KEY_EVENT;
            key.bKeyDown = i == 0;
            key.wRepeatCount = 1;
            key.uChar.AsciiChar = c;
            const SHORT scan = VkKeyScanA(c);
            key.wVirtualKeyCode = c == '\r' ? VK_RETURN : static_cast<WORD>(scan & 0xFF);
            key.dwControlKeyState = (scan & 0x100) ? SHIFT_PRESSED : 0;
        }
        DWORD written = 0;
        WriteConsoleInputA(console, press, 2, &written);
    }
}

void clear_screen(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    DWORD written = 0;
    FillConsoleOutputCharacterW(screen, L' ', info.dwSize.X * info.dwSize.Y, {0, 0}, &written);
    SetConsoleCursorPosition(screen, {0, 0});
}

// The screen's rows down to the cursor, in UTF-8, each without its trailing blanks and ended
// by "\n".
std::string screen_text(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info)) {
        return "no console screen: " + std::to_string(GetLastError());
    }
    std::string text;
    std::vector<wchar_t> row(static_cast<std::size_t>(info.dwSize.X));
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), {0, y},
                                    &read);
        std::wstring line(row.data(), read);
        line.erase(line.find_last_not_of(L' ') + 1);
        char bytes[4096];
        const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                          bytes, sizeof bytes, nullptr, nullptr);
        text.append(bytes, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (y < info.dwCursorPosition.Y) {
            text += '\n';
        }
    }
    return text;
}

} // namespace

std::string program_folder() {
    return (programs::Folder() / "").string();
}

std::string system_error_text(std::uint32_t code) {
    char text[4097];
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return fold_line_ends(std::string(text, n));
}

std::string without_rates(const std::string& text) {
    return std::regex_replace(text, std::regex("\\([0-9]+ bytes/s"), "(<rate> bytes/s");
}

run_result run_flasher(const std::vector<std::string>& arguments, const run_options& options) {
    run_result result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFileHandle out_read, out_write, err_read, err_write, in_read, in_write;
    CreatePipe(out_read.put(), out_write.put(), &inherit, 0);
    CreatePipe(err_read.put(), err_write.put(), &inherit, 0);
    SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_read.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write.get();
    startup.hStdError = err_write.get();
    UniqueFileHandle screen;
    if (options.output_to_console) {
        shared_console_input(); // the test's console, made once
        screen.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                 nullptr));
        clear_screen(screen.get());
        startup.hStdOutput = screen.get();
    }
    DWORD flags = 0;
    switch (options.input) {
    case input_kind::none:
        flags = DETACHED_PROCESS;
        startup.hStdInput = nullptr;
        break;
    case input_kind::hidden:
        // As the updater starts it: no creation flags, a hidden window, only standard output.
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = nullptr;
        startup.hStdError = nullptr;
        break;
    case input_kind::console:
        FlushConsoleInputBuffer(shared_console_input());
        startup.hStdInput = shared_console_input();
        break;
    case input_kind::text:
    case input_kind::held:
        CreatePipe(in_read.put(), in_write.put(), &inherit, 0);
        SetHandleInformation(in_write.get(), HANDLE_FLAG_INHERIT, 0);
        startup.hStdInput = in_read.get();
        flags = CREATE_NO_WINDOW;
        break;
    }

    std::string command = quoted(program_folder() + "vessa_flash.exe");
    for (const std::string& a : arguments) {
        command += " " + quoted(a);
    }
    // The arguments are UTF-8; the wide call hands on every character of them.
    std::wstring wide_command = utf8_to_wide(command);
    const std::wstring wide_directory = utf8_to_wide(options.working_directory);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, wide_command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        wide_directory.empty() ? nullptr : wide_directory.c_str(), &startup,
                        &info)) {
        result.output = "CreateProcess failed: " + std::to_string(GetLastError());
        return result;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    out_write.reset();
    err_write.reset();
    in_read.reset();
    const auto answer = [&] {
        DWORD written = 0;
        if (!options.text.empty()) {
            WriteFile(in_write.get(), options.text.data(), static_cast<DWORD>(options.text.size()),
                      &written, nullptr);
        }
        in_write.reset(); // end of input
    };
    if (options.input == input_kind::text) {
        answer();
    }

    std::string output, errors;
    bool answered = options.input != input_kind::held;
    std::size_t typed = 0;       // console answers given so far
    std::size_t prompt_from = 0; // where in the output the next prompt is looked for
    // A prompt is answered once the child has gone on running for a while after showing it,
    // measured from when it showed: a program that does not wait has ended by then, a waiting
    // one is still there however slow the machine is. The pipes are read all the while.
    constexpr DWORD answer_delay_ms = 200;
    bool prompt_showing = false;
    DWORD prompt_seen = 0;
    const auto ready_to_answer = [&](bool shown) {
        if (!shown) {
            return false;
        }
        if (!prompt_showing) {
            prompt_showing = true;
            prompt_seen = GetTickCount();
        }
        if (GetTickCount() - prompt_seen < answer_delay_ms) {
            return false;
        }
        prompt_showing = false;
        result.waited_for_answer = WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
        return true;
    };
    const DWORD started = GetTickCount();
    for (;;) {
        const bool out_open = drain(out_read.get(), output);
        const bool err_open = drain(err_read.get(), errors);
        const bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        if (!answered && ready_to_answer(fold_line_ends(output).find(options.answer_after) !=
                                         std::string::npos)) {
            answer();
            answered = true;
        }
        if (options.input == input_kind::console && typed < options.console_answers.size()) {
            const typed_answer& next = options.console_answers[typed];
            const std::size_t at = fold_line_ends(output).find(next.prompt, prompt_from);
            if (ready_to_answer(at != std::string::npos)) {
                type_keys(shared_console_input(), next.keys);
                prompt_from = at + next.prompt.size();
                ++typed;
            }
        }
        if (ended && !out_open && !err_open) {
            break;
        }
        if (ended) {
            // The pipes end when the child's handles are gone; take what is left.
            drain(out_read.get(), output);
            drain(err_read.get(), errors);
            break;
        }
        if (GetTickCount() - started > options.timeout_ms) {
            result.timed_out = true;
            TerminateProcess(process.get(), 1000);
            WaitForSingleObject(process.get(), 5000);
            drain(out_read.get(), output);
            drain(err_read.get(), errors);
            break;
        }
        Sleep(1);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exit_code = static_cast<int>(code);
    result.output = options.output_to_console ? screen_text(screen.get()) : fold_line_ends(output);
    result.errors = fold_line_ends(errors);
    return result;
}

} // namespace flash_wine
