// Portable side: everything the flash programmer needs from its platform, and nothing more.
// The Windows build implements it in console_win.cpp, driver_win.cpp and profile_win.cpp; native
// builds (tests, fuzzers, benchmarks) link implementations of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace flash::platform {

// Standard streams. Messages are UTF-8 and go into these as bytes, but for a console.
std::FILE* output_stream();
std::FILE* error_stream();
// Writes UTF-8 text to standard output when that is a console, as the characters it stands for;
// false when standard output is no console (the bytes then go to output_stream()).
bool write_console_text(const char* text, std::size_t length);

// True when standard input is an interactive console that a person can type keys into.
bool console_input_attached();
// One key press from the console input, without echo and without Enter (console attached only).
int read_console_key();
// True when a key press waits in the console input; the key is left there.
bool console_key_pending();
// One character from standard input, or EOF when it is at its end or absent.
int read_input_char();

void beep(unsigned frequency_hz, unsigned duration_ms);
void sleep_ms(unsigned ms);
// Millisecond clock; only differences are used, so it may wrap.
std::uint32_t milliseconds();
// Ends the process with the exit code (standard output flushed first).
[[noreturn]] void exit_process(int code);

// The file, opened for reading as bytes, or null. Paths are Windows paths, in UTF-8.
std::FILE* open_file_for_reading(const char* path);

// Kernel driver device objects. A device reference is the platform's handle value; it is only
// ever held by unique_device (driver.h), which closes it.
using device_ref = std::uintptr_t;
// Opens an existing device object for reading and writing without sharing. On failure returns
// false and the platform's error code.
bool open_device_object(const char* path, device_ref& device, std::uint32_t& error);
void close_device_object(device_ref device);
// One synchronous control request; the buffer is both input and output, of the same size.
bool device_control(device_ref device, std::uint32_t control_code, void* buffer, std::uint32_t size,
                    std::uint32_t& bytes_returned);
// The platform's message for an error code in UTF-8 (normally ending in "\n", as a message's
// line ends are), or empty text.
void system_error_text(std::uint32_t code, char* text, std::size_t capacity);

// Index files in the INI layout: section and key names are found regardless of case. All
// texts are UTF-8. Copies at most size - 1 bytes, never cutting a character, and a terminating
// zero; returns the bytes copied.
std::uint32_t profile_read_string(const char* section, const char* key, const char* default_text,
                                  char* text, std::uint32_t size, const char* path);
std::uint32_t profile_read_int(const char* section, const char* key, int default_value,
                               const char* path);

} // namespace flash::platform
