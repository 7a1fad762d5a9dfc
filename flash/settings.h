// Portable side: the one process-wide settings record and the command-line parser that fills it.
#pragma once

#include "utf8.h"

#include <cstdint>

namespace flash {

// An EAN as the programmer holds it: the 13 decimal digits of the article number behind three
// zeros, one digit per nibble; hi holds the first eight digits, lo the last eight.
struct ean_words {
    std::uint32_t hi = 0;
    std::uint32_t lo = 0;
    friend bool operator==(const ean_words&, const ean_words&) = default;
};

struct version_words {
    std::uint32_t major = 255;
    std::uint32_t minor = 255;
    std::uint32_t build = 255;
};

// Texts are held as UTF-8 (utf8.h): the limits count characters, the capacities bytes.
constexpr int image_path_characters = 511;
constexpr int image_path_capacity = static_cast<int>(utf8_bytes_for(image_path_characters)) + 1;
constexpr int program_name_characters = 255;
constexpr int program_name_capacity = static_cast<int>(utf8_bytes_for(program_name_characters)) + 1;
constexpr int device_count = 128;

struct program_settings {
    int debug = 0;
    int boot = 0;
    int verbose = 0;
    int index_mode = 0;
    version_words target_version;
    int cvpro_confirmed = 0;
    int all_devices = 0;
    int ask = 0;
    int dont_ask = 0;
    int unattended = 0;
    int assert_ean = 0;
    ean_words asserted_ean;
    std::int32_t device_number = 0;
    int no_checksum = 0;
    char image_path[image_path_capacity] = {};
    char program_name[program_name_capacity] = {};
};

extern program_settings settings;

enum class parse_result {
    ok,
    usage,         // no file name, "-ask" with "-unattended", or a device number outside 0..127
    path_too_long, // the file name is longer than image_path_characters; it is refused, never
                   // cut short
};

// Resets settings to the start values and fills it from the arguments (argv[0] is the program),
// each in UTF-8.
parse_result parse_command_line(int argc, const char* const* argv);

// scanf-style number readers: "%d" and "%x" at the start of text (leading white space, a sign,
// for "%x" an optional 0x). They return the first character after the number, or null when
// there is none. Digits beyond the word's range wrap as the C library's scanf does.
const char* scan_decimal(const char* text, std::int64_t& value);
const char* scan_hex(const char* text, std::uint32_t& value);

} // namespace flash
