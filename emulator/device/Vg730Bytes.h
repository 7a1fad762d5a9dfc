// Portable: little-endian words and plain byte loops for code that has no standard library.
#pragma once

#include <stddef.h>
#include <stdint.h>

inline uint32_t vg730_get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void vg730_put32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

inline void vg730_fill(void* target, uint8_t value, size_t length) {
    uint8_t* p = static_cast<uint8_t*>(target);
    for (size_t i = 0; i < length; ++i) {
        p[i] = value;
    }
}

inline void vg730_copy(void* target, const void* source, size_t length) {
    uint8_t* t = static_cast<uint8_t*>(target);
    const uint8_t* s = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < length; ++i) {
        t[i] = s[i];
    }
}

// Copies a zero-ended text into a field of capacity bytes; always zero-ended, cut if longer.
inline void vg730_copy_text(char* target, const char* source, size_t capacity) {
    size_t i = 0;
    for (; source && i + 1 < capacity && source[i] != '\0'; ++i) {
        target[i] = source[i];
    }
    for (; i < capacity; ++i) {
        target[i] = '\0';
    }
}

inline bool vg730_text_equal(const char* a, const char* b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}
