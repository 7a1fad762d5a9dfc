// Windows side (tests): child process runner for vessa_flash.exe with pipes.
#include "FlasherProcess.h"

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

} // namespace

std::string bin_folder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string system_error_text(std::uint32_t code) {
    char text[4097];
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    return std::string(text, n);
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

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out_write.get();
    startup.hStdError = err_write.get();
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
    case input_kind::text:
    case input_kind::held:
        CreatePipe(in_read.put(), in_write.put(), &inherit, 0);
        SetHandleInformation(in_write.get(), HANDLE_FLAG_INHERIT, 0);
        startup.hStdInput = in_read.get();
        flags = CREATE_NO_WINDOW;
        break;
    }

    std::string command = quoted(bin_folder() + "vessa_flash.exe");
    for (const std::string& a : arguments) {
        command += " " + quoted(a);
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        options.working_directory.empty() ? nullptr
                                                          : options.working_directory.c_str(),
                        &startup, &info)) {
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
    const DWORD started = GetTickCount();
    for (;;) {
        const bool out_open = drain(out_read.get(), output);
        const bool err_open = drain(err_read.get(), errors);
        const bool ended = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        if (!answered && fold_line_ends(output).find(options.answer_after) != std::string::npos) {
            // Give the child time to reach its wait, then answer: it must still be waiting.
            Sleep(200);
            result.waited_for_answer = WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
            answer();
            answered = true;
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
    result.output = fold_line_ends(output);
    result.errors = fold_line_ends(errors);
    return result;
}

} // namespace flash_wine
