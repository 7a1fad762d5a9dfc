// Windows side: standard streams, console keys, tones, clock, files and process exit.
#include "platform.h"

#include "WinApi.h"

#include <mmsystem.h>

#include <cstdlib>

namespace flash::platform {

namespace {

// The console input, when standard input is one; null otherwise (absent, a file or a pipe).
HANDLE console_input() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) {
        return nullptr;
    }
    return input;
}

// Keys that only change another key (Shift for an upper-case G) are not key presses of their own.
bool is_modifier(WORD virtual_key) {
    switch (virtual_key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
        return true;
    default:
        return false;
    }
}

bool is_key_press(const INPUT_RECORD& record) {
    return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
           !is_modifier(record.Event.KeyEvent.wVirtualKeyCode);
}

} // namespace

std::FILE* output_stream() {
    return stdout;
}

std::FILE* error_stream() {
    return stderr;
}

bool console_input_attached() {
    return console_input() != nullptr;
}

int read_console_key() {
    HANDLE input = console_input();
    if (input == nullptr) {
        return EOF;
    }
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(input, &record, 1, &read)) {
            return EOF;
        }
        if (read == 1 && is_key_press(record)) {
            return static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        }
    }
}

bool console_key_pending() {
    HANDLE input = console_input();
    if (input == nullptr) {
        return true; // nobody can press a key: stop waiting
    }
    for (;;) {
        INPUT_RECORD record;
        DWORD count = 0;
        if (!PeekConsoleInputA(input, &record, 1, &count)) {
            return true;
        }
        if (count == 0) {
            return false;
        }
        if (is_key_press(record)) {
            return true;
        }
        // Mouse, focus, key-up and modifier events are not key presses: drop them.
        ReadConsoleInputA(input, &record, 1, &count);
    }
}

int read_input_char() {
    return std::fgetc(stdin);
}

void beep(unsigned frequency_hz, unsigned duration_ms) {
    Beep(frequency_hz, duration_ms);
}

void sleep_ms(unsigned ms) {
    Sleep(ms);
}

std::uint32_t milliseconds() {
    return timeGetTime();
}

void exit_process(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

std::FILE* open_file_for_reading(const char* path) {
    return std::fopen(path, "rb");
}

} // namespace flash::platform
