// Both sides (tests, fuzzers): the INI-layout reader for builds without the Windows profile
// reader. It answers as the Windows one does: the first section of a name counts (the unnamed one
// before any header comes first), the first line of a key in it counts, names are compared without
// regard to case and trimmed, values are trimmed and lose one pair of matching quotes, and a key
// line without "=" has no value. Lines are read twice through file positions instead of being held,
// so lines of any length need no buffer.
#include "ProfileReader.h"

#include <cstring>

namespace flash_test {

namespace {

constexpr std::uint32_t int_text_capacity = 30; // what the integer reader looks at, with the zero

bool is_space(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct range {
    long begin = -1;
    long end = -1;
    long length() const { return end - begin; }
};

// Trims white space from both ends of a name given as text.
range trimmed(const char* text) {
    long begin = 0;
    long end = static_cast<long>(std::strlen(text));
    while (begin < end && is_space(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && is_space(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return {begin, end};
}

// What one line holds, found in one pass over it.
struct line_shape {
    bool is_section = false;
    bool has_value = false;
    range name;  // section name or key
    range value; // the value, trimmed, quotes not yet removed
    int first_value_char = 0;
    int last_value_char = 0;
    bool at_end = false; // the file ended with this line
};

// Reads one line from the current position and leaves the position at the next line's start.
line_shape scan_line(std::FILE* file) {
    line_shape line;
    long position = std::ftell(file);
    long first = -1, last_end = -1;      // non-space extent of the line
    long equals = -1, bracket = -1;      // first "=" and first "]"
    long key_end = -1;                   // non-space end before "="
    long value_begin = -1;               // first non-space after "="
    long name_begin = -1, name_end = -1; // non-space extent inside "[...]"
    int first_char = 0, value_first = 0, last_char = 0;
    for (;;) {
        const int c = std::fgetc(file);
        if (c == EOF) {
            line.at_end = true;
            break;
        }
        if (c == '\n') {
            break;
        }
        if (!is_space(c)) {
            if (first < 0) {
                first = position;
                first_char = c;
            } else if (first_char == '[' && bracket < 0 && c != ']') {
                if (name_begin < 0) {
                    name_begin = position;
                }
                name_end = position + 1;
            }
            if (c == ']' && bracket < 0 && first_char == '[') {
                bracket = position;
            }
            if (equals >= 0 && value_begin < 0) {
                value_begin = position;
                value_first = c;
            }
            if (c == '=' && equals < 0) {
                equals = position;
            } else if (equals < 0) {
                key_end = position + 1;
            }
            last_end = position + 1;
            last_char = c;
        }
        ++position;
    }
    if (first < 0) {
        return line;
    }
    if (first_char == '[' && bracket >= 0) {
        line.is_section = true;
        line.name = name_begin < 0 ? range{bracket, bracket} : range{name_begin, name_end};
        return line;
    }
    if (equals < 0) {
        line.name = {first, last_end};
        return line;
    }
    line.name = {first, key_end < 0 ? first : key_end};
    line.has_value = true;
    if (value_begin >= 0) {
        line.value = {value_begin, last_end};
        line.first_value_char = value_first;
        line.last_value_char = last_char;
    } else {
        line.value = {equals + 1, equals + 1};
    }
    return line;
}

// Compares a range of the file with a name, without regard to case; keeps the file position.
bool range_equals(std::FILE* file, range r, const char* text, range t) {
    if (r.length() != t.length()) {
        return false;
    }
    const long resume = std::ftell(file);
    std::fseek(file, r.begin, SEEK_SET);
    bool equal = true;
    for (long i = 0; i < r.length() && equal; ++i) {
        const int c = std::fgetc(file);
        equal = c != EOF && lower(static_cast<char>(c)) == lower(text[t.begin + i]);
    }
    std::fseek(file, resume, SEEK_SET);
    return equal;
}

enum class lookup { missing, no_value, found };

// Finds the key and leaves value (quotes removed) when it has one.
lookup find_value(std::FILE* file, const char* section, const char* key, range& value) {
    if (file == nullptr) {
        return lookup::missing;
    }
    std::fseek(file, 0, SEEK_SET);
    unsigned char bom[3] = {};
    if (std::fread(bom, 1, 3, file) != 3 || bom[0] != 0xEF || bom[1] != 0xBB || bom[2] != 0xBF) {
        std::fseek(file, 0, SEEK_SET);
    }
    const range wanted_section = trimmed(section);
    const range wanted_key = trimmed(key);
    // Lines before the first header belong to the unnamed section, which thus comes first.
    bool inside = wanted_section.length() == 0;
    bool seen = inside;
    for (;;) {
        const line_shape line = scan_line(file);
        if (line.is_section) {
            if (inside) {
                return lookup::missing; // only the first section of a name counts
            }
            inside = !seen && range_equals(file, line.name, section, wanted_section);
            seen = seen || inside;
        } else if (inside && line.name.begin >= 0 &&
                   range_equals(file, line.name, key, wanted_key)) {
            if (!line.has_value) {
                return lookup::no_value;
            }
            value = line.value;
            const int q = line.first_value_char;
            if (value.length() >= 2 && (q == '"' || q == '\'') && line.last_value_char == q) {
                ++value.begin;
                --value.end;
            }
            return lookup::found;
        }
        if (line.at_end) {
            return lookup::missing;
        }
    }
}

std::uint32_t copy_text(const char* source, char* text, std::uint32_t size) {
    const std::size_t length = std::strlen(source);
    const std::uint32_t n = length < size - 1 ? static_cast<std::uint32_t>(length) : size - 1;
    std::memcpy(text, source, n);
    text[n] = '\0';
    return n;
}

std::uint32_t copy_value(std::FILE* file, range value, char* text, std::uint32_t size) {
    std::fseek(file, value.begin, SEEK_SET);
    std::uint32_t n = 0;
    while (n + 1 < size && static_cast<long>(n) < value.length()) {
        const int c = std::fgetc(file);
        if (c == EOF || c == '\0') {
            break; // a zero byte ends the text as it would end the caller's string
        }
        text[n++] = static_cast<char>(c);
    }
    text[n] = '\0';
    return n;
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

// Leading white space, a sign, a base prefix ("0x", "0o", "0b"), then digits of that base up to
// the first other character; wraps to 32 bits.
std::uint32_t text_to_int(const char* text) {
    while (is_space(static_cast<unsigned char>(*text))) {
        ++text;
    }
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        ++text;
    }
    std::uint32_t base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'o' || text[1] == 'b')) {
        base = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : 2;
        text += 2;
    }
    std::uint32_t result = 0;
    for (int d = digit_value(*text); d < static_cast<int>(base); d = digit_value(*++text)) {
        result = result * base + static_cast<std::uint32_t>(d);
    }
    return negative ? 0u - result : result;
}

} // namespace

std::uint32_t profile_string(std::FILE* file, const char* section, const char* key,
                             const char* default_text, char* text, std::uint32_t size) {
    if (size == 0) {
        return 0;
    }
    range value;
    if (find_value(file, section, key, value) != lookup::found) {
        return copy_text(default_text != nullptr ? default_text : "", text, size);
    }
    return copy_value(file, value, text, size);
}

std::uint32_t profile_int(std::FILE* file, const char* section, const char* key,
                          int default_value) {
    char text[int_text_capacity];
    if (profile_string(file, section, key, "", text, sizeof text) == 0) {
        return static_cast<std::uint32_t>(default_value);
    }
    return text_to_int(text);
}

} // namespace flash_test
