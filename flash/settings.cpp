// Portable side: the options of the command line, parsed into the settings record.
#include "settings.h"

#include <cstring>

namespace flash {

program_settings settings;

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

const char* skip_space_and_sign(const char* text, bool& negative) {
    while (is_space(*text)) {
        ++text;
    }
    negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    return text;
}

bool starts_with(const char* text, const char* prefix, const char*& rest) {
    const std::size_t n = std::strlen(prefix);
    if (std::strncmp(text, prefix, n) != 0) {
        return false;
    }
    rest = text + n;
    return true;
}

// "-assert_ean=" HEX "!" HEX and nothing else.
bool parse_asserted_ean(const char* rest, ean_words& ean) {
    rest = scan_hex(rest, ean.hi);
    if (rest == nullptr || *rest != '!') {
        return false;
    }
    rest = scan_hex(rest + 1, ean.lo);
    return rest != nullptr && *rest == '\0';
}

// "-C" DECIMAL and nothing else; the value is kept whatever it is and checked after parsing.
bool parse_device_number(const char* rest, std::int64_t& number) {
    rest = scan_decimal(rest, number);
    return rest != nullptr && *rest == '\0';
}

// The program's own file name without folder and extension, cut to what the field holds.
void set_program_name(const char* argument0) {
    const char* name = argument0;
    for (const char* p = argument0; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':') {
            name = p + 1;
        }
    }
    std::size_t length = std::strlen(name);
    if (const char* dot = std::strrchr(name, '.'); dot != nullptr && dot != name) {
        length = static_cast<std::size_t>(dot - name);
    }
    length = utf8_prefix_length(name, length, program_name_capacity, program_name_characters);
    std::memcpy(settings.program_name, name, length);
    settings.program_name[length] = '\0';
}

} // namespace

const char* scan_decimal(const char* text, std::int64_t& value) {
    bool negative = false;
    text = skip_space_and_sign(text, negative);
    if (*text < '0' || *text > '9') {
        return nullptr;
    }
    // Saturate far outside any device number so that huge values stay out of range.
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (magnitude < (std::int64_t{1} << 40)) {
            magnitude = magnitude * 10 + (*text - '0');
        }
    }
    value = negative ? -magnitude : magnitude;
    return text;
}

const char* scan_hex(const char* text, std::uint32_t& value) {
    bool negative = false;
    text = skip_space_and_sign(text, negative);
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hex_digit(text[2]) >= 0) {
        text += 2;
    }
    if (hex_digit(*text) < 0) {
        return nullptr;
    }
    std::uint32_t result = 0;
    for (int digit = hex_digit(*text); digit >= 0; digit = hex_digit(*++text)) {
        result = (result << 4) | static_cast<std::uint32_t>(digit);
    }
    value = negative ? 0u - result : result;
    return text;
}

parse_result parse_command_line(int argc, const char* const* argv) {
    settings = program_settings{};
    set_program_name(argc > 0 && argv[0] != nullptr ? argv[0] : "");

    bool path_too_long = false;
    std::int64_t device_number = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* rest = nullptr;
        ean_words ean;
        std::int64_t number = 0;
        if (std::strcmp(arg, "-debug") == 0) {
            settings.debug = 1;
        } else if (std::strcmp(arg, "-boot") == 0) {
            settings.boot = 1;
        } else if (std::strcmp(arg, "-v") == 0) {
            ++settings.verbose;
        } else if (std::strcmp(arg, "-index") == 0) {
            settings.index_mode = 1;
        } else if (std::strcmp(arg, "-vc") == 0) {
            settings.target_version = {0, 0, 0};
        } else if (std::strcmp(arg, "-cvpro") == 0) {
            settings.cvpro_confirmed = 1;
        } else if (std::strcmp(arg, "-all") == 0) {
            ++settings.all_devices;
        } else if (std::strcmp(arg, "-ask") == 0) {
            ++settings.ask;
            settings.dont_ask = 0;
        } else if (std::strcmp(arg, "-dont_ask") == 0) {
            ++settings.dont_ask;
            settings.ask = 0;
        } else if (std::strcmp(arg, "-unattended") == 0) {
            ++settings.unattended;
        } else if (starts_with(arg, "-assert_ean=", rest) && parse_asserted_ean(rest, ean)) {
            settings.assert_ean = 1;
            settings.asserted_ean = ean;
        } else if (starts_with(arg, "-C", rest) && parse_device_number(rest, number)) {
            device_number = number;
        } else if (std::strcmp(arg, "-nocs") == 0) {
            ++settings.no_checksum;
        } else if (arg[0] != '-') {
            // A later file name replaces an earlier one, a too long one included.
            path_too_long = utf16_length(arg) > image_path_characters;
            if (!path_too_long) {
                std::memcpy(settings.image_path, arg, std::strlen(arg) + 1);
            } else {
                settings.image_path[0] = '\0';
            }
        }
    }

    if (path_too_long) {
        return parse_result::path_too_long;
    }
    if (device_number < 0 || device_number >= device_count) {
        return parse_result::usage;
    }
    settings.device_number = static_cast<std::int32_t>(device_number);
    if (settings.image_path[0] == '\0' || (settings.ask != 0 && settings.unattended != 0)) {
        return parse_result::usage;
    }
    return parse_result::ok;
}

} // namespace flash
