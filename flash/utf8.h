// Portable side: the programmer holds every text as UTF-8, and limits are counted in the
// characters Windows counts (UTF-16 code units), so that a name in any script fits as far as a
// plain ASCII one does.
#pragma once

#include <cstddef>

namespace flash {

// Bytes of UTF-8 that hold any text of this many UTF-16 code units: three per code unit at most
// (a pair of surrogates takes four bytes for two units).
constexpr std::size_t utf8_bytes_for(std::size_t code_units) {
    return 3 * code_units;
}

// The UTF-16 code units the text takes.
std::size_t utf16_length(const char* text);
// The bytes of text that fit into capacity - 1 bytes and at most max_units UTF-16 code units,
// never splitting a character.
std::size_t utf8_prefix_length(const char* text, std::size_t length, std::size_t capacity,
                               std::size_t max_units);

} // namespace flash
