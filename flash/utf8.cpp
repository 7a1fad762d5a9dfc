// Portable side: lengths of UTF-8 texts in the units Windows counts.
#include "utf8.h"

namespace flash {

namespace {

bool is_continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Code units of the character that starts with this byte: a four-byte sequence is a surrogate
// pair. A stray byte counts as one, as the conversion would make it U+FFFD.
std::size_t units_of_lead(unsigned char c) {
    return c >= 0xF0 ? 2 : 1;
}

} // namespace

std::size_t utf16_length(const char* text) {
    std::size_t units = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (!is_continuation(*p)) {
            units += units_of_lead(*p);
        }
    }
    return units;
}

std::size_t utf8_prefix_length(const char* text, std::size_t length, std::size_t capacity,
                               std::size_t max_units) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    const std::size_t max_bytes = capacity == 0 ? 0 : capacity - 1;
    std::size_t units = 0;
    std::size_t end = 0;
    while (end < length) {
        std::size_t next = end + 1;
        while (next < length && is_continuation(bytes[next])) {
            ++next;
        }
        units += units_of_lead(bytes[end]);
        if (next > max_bytes || units > max_units) {
            break;
        }
        end = next;
    }
    return end;
}

} // namespace flash
