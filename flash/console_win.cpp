// Windows side: standard streams and the console, console keys, tones, clock, files and process
// exit.
#include "platform.h"
#include "settings.h"
#include "utf16_win.h"

#include "WinApi.h"

#include <cstdlib>
#include <cwchar>
#include <iterator>

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

bool write_console_text(const char* text, std::size_t length) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == nullptr || output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) {
        return false;
    }
    // A console shows UTF-16; bytes written to it would be read in its own code page.
    while (length > 0) {
        wchar_t wide[1024];
        std::size_t piece = length < 512 ? length : 512;
        while (piece < length && (static_cast<unsigned char>(text[piece]) & 0xC0) == 0x80) {
            --piece; // a character is never cut in two
        }
        const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(piece), wide,
                                              static_cast<int>(std::size(wide)));
        DWORD written = 0;
        WriteConsoleW(output, wide, static_cast<DWORD>(units), &written, nullptr);
        text += piece;
        length -= piece;
    }
    return true;
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

// From the performance counter of the kernel: the multimedia timer would need winmm.dll, which
// is no known DLL and would be looked for first in the program's own folder.
std::uint32_t milliseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const LONGLONG ms =
        now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency;
    return static_cast<std::uint32_t>(ms);
}

void exit_process(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(code);
}

std::FILE* open_file_for_reading(const char* path) {
    wchar_t wide[image_path_capacity];
    if (!to_utf16(path, wide, std::size(wide))) {
        return nullptr;
    }
    return _wfopen(wide, L"rb");
}

} // namespace flash::platform
