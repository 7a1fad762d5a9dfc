// Native side (fuzzers): a platform without console, devices or clock.
#include "FuzzPlatform.h"

#include "platform.h"

#include <cstdio>
#include <cstdlib>

namespace flash_fuzz {

namespace {

const std::uint8_t* served_data = nullptr;
std::size_t served_size = 0;

std::FILE* null_stream() {
    static std::FILE* stream = std::fopen("/dev/null", "w");
    return stream;
}

} // namespace

void serve_file(const std::uint8_t* data, std::size_t size) {
    served_data = data;
    served_size = size;
}

} // namespace flash_fuzz

namespace flash::platform {

std::FILE* output_stream() {
    return flash_fuzz::null_stream();
}
std::FILE* error_stream() {
    return flash_fuzz::null_stream();
}
bool write_console_text(const char*, std::size_t) {
    return false; // no console: the bytes go to output_stream()
}
bool console_input_attached() {
    return false;
}
int read_console_key() {
    return EOF;
}
bool console_key_pending() {
    return true;
}
int read_input_char() {
    return EOF;
}
void beep(unsigned, unsigned) {}
void sleep_ms(unsigned) {}
std::uint32_t milliseconds() {
    return 0;
}
void exit_process(int) {
    std::abort();
} // no fuzzed path may end the process

std::FILE* open_file_for_reading(const char*) {
    // fmemopen refuses an empty buffer: an empty file is a file with nothing in it.
    if (flash_fuzz::served_size == 0) {
        return std::fopen("/dev/null", "rb");
    }
    return fmemopen(const_cast<std::uint8_t*>(flash_fuzz::served_data), flash_fuzz::served_size,
                    "rb");
}

bool open_device_object(const char*, device_ref&, std::uint32_t& error) {
    error = 2;
    return false;
}
void close_device_object(device_ref) {}
bool device_control(device_ref, std::uint32_t, void*, std::uint32_t, std::uint32_t&) {
    return false;
}
void system_error_text(std::uint32_t, char* text, std::size_t capacity) {
    if (capacity > 0) {
        text[0] = '\0';
    }
}
std::uint32_t profile_read_string(const char*, const char*, const char*, char* text,
                                  std::uint32_t size, const char*) {
    if (size > 0) {
        text[0] = '\0';
    }
    return 0;
}
std::uint32_t profile_read_int(const char*, const char*, int default_value, const char*) {
    return static_cast<std::uint32_t>(default_value);
}

} // namespace flash::platform
