// Windows side: conversions between UTF-8 and UTF-16.
#include "utf16_win.h"

#include "utf8.h"

#include "WinApi.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace flash::platform {

bool to_utf16(const char* text, wchar_t* wide, std::size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    const int size = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, size) == 0) {
        wide[0] = L'\0';
        return false;
    }
    return true;
}

std::size_t to_utf8(const wchar_t* wide, int length, char* text, std::size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    if (length < 0) {
        length = static_cast<int>(std::wcslen(wide));
    }
    // Converted whole into room enough for the longest text the system hands out, then cut
    // where a character ends. The programmer has one thread.
    static char whole[utf8_bytes_for(32768)];
    if (static_cast<std::size_t>(length) > 32768) {
        length = 32768;
    }
    const int bytes = length == 0
                          ? 0
                          : WideCharToMultiByte(CP_UTF8, 0, wide, length, whole,
                                                static_cast<int>(sizeof whole), nullptr, nullptr);
    const std::size_t kept =
        utf8_prefix_length(whole, static_cast<std::size_t>(bytes), capacity, capacity);
    std::memcpy(text, whole, kept);
    text[kept] = '\0';
    return kept;
}

} // namespace flash::platform
