// Windows side: the programmer's UTF-8 texts to and from the UTF-16 of the system's wide calls,
// which reach every name a volume can hold (the 8-bit calls only those of the code page).
#pragma once

#include <cstddef>

namespace flash::platform {

// The text as UTF-16 with its terminating zero; false (and an empty text) when it does not fit.
bool to_utf16(const char* text, wchar_t* wide, std::size_t capacity);
// length units of wide (-1: up to its zero) as UTF-8 with a terminating zero, cut at a whole
// character where it does not fit. Returns the bytes written without the zero.
std::size_t to_utf8(const wchar_t* wide, int length, char* text, std::size_t capacity);

} // namespace flash::platform
