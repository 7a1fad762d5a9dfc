// Native side: the platform of the flash programmer for tests, fuzzers and benchmarks.
#include "NativePlatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace flash_test {

namespace {

native_platform state;
std::FILE* output_capture = nullptr;
std::FILE* error_capture = nullptr;

std::string read_all(std::FILE* file) {
    std::string text;
    if (file == nullptr) {
        return text;
    }
    std::fflush(file);
    const long end = std::ftell(file);
    std::rewind(file);
    text.resize(static_cast<std::size_t>(end));
    if (end > 0 && std::fread(text.data(), 1, text.size(), file) != text.size()) {
        text.clear();
    }
    std::fseek(file, 0, SEEK_END);
    return text;
}

} // namespace

native_platform& platform_state() {
    return state;
}

void reset_platform() {
    reset_devices();
    state = native_platform{};
    if (output_capture != nullptr) {
        std::fclose(output_capture);
    }
    if (error_capture != nullptr) {
        std::fclose(error_capture);
    }
    output_capture = std::tmpfile();
    error_capture = std::tmpfile();
}

std::string captured_output() {
    return read_all(output_capture);
}

std::string captured_errors() {
    return read_all(error_capture);
}

} // namespace flash_test

namespace flash::platform {

using flash_test::state;

std::FILE* output_stream() {
    if (state.output_sink != nullptr) {
        return state.output_sink;
    }
    return flash_test::output_capture != nullptr ? flash_test::output_capture : stdout;
}

std::FILE* error_stream() {
    return flash_test::error_capture != nullptr ? flash_test::error_capture : stderr;
}
bool write_console_text(const char*, std::size_t) {
    return false; // no console: the bytes go to output_stream()
}

bool console_input_attached() {
    return state.console_attached;
}

int read_console_key() {
    ++state.keys_read;
    if (state.console_keys.empty()) {
        // A person who never presses a key: a test that gets here has a fault to show.
        throw flash_test::process_exit{-1000};
    }
    const int key = static_cast<unsigned char>(state.console_keys.front());
    state.console_keys.erase(0, 1);
    return key;
}

bool console_key_pending() {
    if (state.console_keys.empty()) {
        state.clock_ms += 1;
        if (state.clock_ms > 60000) {
            throw flash_test::process_exit{-1001}; // a poll that would never end
        }
        return false;
    }
    return true;
}

int read_input_char() {
    ++state.input_reads;
    if (state.standard_input.empty()) {
        return EOF;
    }
    const int c = static_cast<unsigned char>(state.standard_input.front());
    state.standard_input.erase(0, 1);
    return c;
}

void beep(unsigned frequency_hz, unsigned duration_ms) {
    state.beeps.emplace_back(frequency_hz, duration_ms);
}

void sleep_ms(unsigned ms) {
    state.slept_ms += ms;
    state.clock_ms += ms;
}

std::uint32_t milliseconds() {
    return state.clock_ms;
}

void exit_process(int code) {
    throw flash_test::process_exit{code};
}

std::FILE* open_file_for_reading(const char* path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return std::fopen(native.c_str(), "rb");
}

void system_error_text(std::uint32_t code, char* text, std::size_t capacity) {
    const char* message = code == 2    ? "The system cannot find the file specified.\n"
                          : code == 32 ? "The process cannot access the file because it is being "
                                         "used by another process.\n"
                                       : "";
    std::snprintf(text, capacity, "%s", message);
}

} // namespace flash::platform
