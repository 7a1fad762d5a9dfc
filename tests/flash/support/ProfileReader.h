// Both sides (tests, fuzzers): a reader of INI-layout profile files that answers as the Windows
// profile reader does, for builds without one. The programmer itself reads index files only
// through the system's profile functions.
#pragma once

#include <cstdint>
#include <cstdio>

namespace flash_test {

// The value of key in section (names compared without regard to case), or default_text when
// the key is missing. Copies at most size - 1 characters and a terminating zero; returns the
// characters copied.
std::uint32_t profile_string(std::FILE* file, const char* section, const char* key,
                             const char* default_text, char* text, std::uint32_t size);
// The value read as an integer (decimal, or hexadecimal after "0x"), or default_value when the
// key is missing or empty.
std::uint32_t profile_int(std::FILE* file, const char* section, const char* key, int default_value);

} // namespace flash_test
