// Portable side: loading, checking and describing a firmware image file.
#include "image.h"

#include "console.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

namespace flash {

namespace {

std::uint8_t reverse_bits(std::uint8_t byte) {
    byte = static_cast<std::uint8_t>((byte & 0xF0) >> 4 | (byte & 0x0F) << 4);
    byte = static_cast<std::uint8_t>((byte & 0xCC) >> 2 | (byte & 0x33) << 2);
    return static_cast<std::uint8_t>((byte & 0xAA) >> 1 | (byte & 0x55) << 1);
}

std::uint16_t reverse_bits(std::uint16_t word) {
    return static_cast<std::uint16_t>(reverse_bits(static_cast<std::uint8_t>(word)) << 8 |
                                      reverse_bits(static_cast<std::uint8_t>(word >> 8)));
}

// The register step of crc16_update, without the reversals.
void crc16_step(std::uint16_t& crc_register, std::uint8_t byte) {
    std::uint16_t r = crc_register;
    r = static_cast<std::uint16_t>(r >> 8 | r << 8);
    r ^= byte;
    r ^= static_cast<std::uint16_t>((r & 0xFF) >> 4);
    r ^= static_cast<std::uint16_t>(r << 12);
    r ^= static_cast<std::uint16_t>((r & 0xFF) << 5);
    crc_register = r;
}

// The data checksum covers up to a MiB: computed in its reflected form (polynomial 0x1021
// reversed, 0x8408) with one table look-up per byte, which gives the same result as
// crc16_update over every byte reflected.
struct kermit_steps {
    std::uint16_t table[256];
    constexpr kermit_steps() : table() {
        for (int i = 0; i < 256; ++i) {
            std::uint16_t r = static_cast<std::uint16_t>(i);
            for (int bit = 0; bit < 8; ++bit) {
                r = static_cast<std::uint16_t>((r & 1) != 0 ? (r >> 1) ^ 0x8408 : r >> 1);
            }
            table[i] = r;
        }
    }
};
constexpr kermit_steps kermit;

std::uint16_t kermit_checksum(const std::uint8_t* bytes, std::uint32_t length) {
    std::uint16_t crc = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>(crc >> 8 ^ kermit.table[(crc ^ bytes[i]) & 0xFF]);
    }
    return crc;
}

std::uint32_t little_endian_word(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Closes the file on every path out of load_image.
class file_closer {
public:
    explicit file_closer(std::FILE* file) : file_(file) {}
    file_closer(const file_closer&) = delete;
    file_closer& operator=(const file_closer&) = delete;
    ~file_closer() { std::fclose(file_); }

private:
    std::FILE* file_;
};

// A tag's value: where it starts in the buffer, or null when the tag was not seen.
struct tag_value {
    const std::uint8_t* start = nullptr;
};

bool spells(const std::uint8_t* bytes, std::uint32_t at, std::uint32_t length, const char* tag,
            std::uint32_t tag_length) {
    return at <= length && length - at >= tag_length &&
           std::memcmp(bytes + at, tag, tag_length) == 0;
}

// Length of a text value: up to its zero byte or the end of the scanned bytes.
int text_length(const tag_value& value, const std::uint8_t* end) {
    if (value.start == nullptr) {
        return 6; // "(null)"
    }
    const std::uint8_t* p = value.start;
    while (p < end && *p != 0) {
        ++p;
    }
    return static_cast<int>(p - value.start);
}

const char* text_of(const tag_value& value) {
    return value.start != nullptr ? reinterpret_cast<const char*>(value.start) : "(null)";
}

// Up to eight characters of the EAN value, read as a hexadecimal number into word.
void read_ean_word(const std::uint8_t* digits, std::uint32_t available, std::uint32_t& word) {
    char text[10] = {};
    std::memcpy(text, digits, available < 8 ? available : 8);
    std::uint32_t value = 0;
    if (scan_hex(text, value) != nullptr) {
        word = value;
    }
}

} // namespace

std::uint16_t crc16_update(std::uint16_t& crc_register, std::uint8_t byte, bool reflected) {
    crc16_step(crc_register, reflected ? reverse_bits(byte) : byte);
    return reflected ? reverse_bits(crc_register) : crc_register;
}

int load_image(const char* path, loaded_image& image) {
    image.ean = untagged_image_ean;
    std::FILE* file = platform::open_file_for_reading(path);
    if (file == nullptr) {
        print_message("Error: Unable to open file '%s'\n", path);
        return image_cannot_open;
    }
    file_closer closer(file);

    std::uint8_t header[image_header_size];
    const std::size_t header_read = std::fread(header, 1, sizeof header, file);
    if (header_read == 0) {
        print_message("ERROR, no data read.\n");
        return image_no_data;
    }
    if (header_read < sizeof header) {
        print_message("ERROR: The file ends inside the header (%d of %d bytes). Corrupt file. \n",
                      static_cast<int>(header_read), static_cast<int>(image_header_size));
        return image_header_cut_short;
    }

    // Byte 0 enters unreflected, bytes 1 to 23 reflected: that is the format's header checksum.
    std::uint16_t crc = 0;
    std::uint16_t result = crc16_update(crc, header[0], false);
    for (std::uint32_t i = 1; i < image_header_size; ++i) {
        result = crc16_update(crc, header[i], true);
    }
    if (result != 0) {
        print_message("ERROR: Header checksum not correct. Corrupt file. \n");
        return image_bad_header_checksum;
    }

    const std::uint32_t data_addr = little_endian_word(header + 4);
    const std::uint32_t data_size = little_endian_word(header + 8);
    const std::uint32_t run_addr = little_endian_word(header + 12);
    const std::uint64_t file_bytes =
        std::uint64_t{image_header_size} + data_size + image_checksum_size;
    if (file_bytes > image_buffer_size) {
        print_message("ERROR: Image too large (%u data bytes; header, data and checksum must fit "
                      "in %u bytes). \n",
                      static_cast<unsigned>(data_size), static_cast<unsigned>(image_buffer_size));
        return image_too_large;
    }

    // Bytes missing at the end of the file read as erased flash.
    std::memcpy(image.bytes, header, sizeof header);
    const std::uint32_t rest = data_size + image_checksum_size;
    std::uint8_t* data = image.bytes + image_header_size;
    const std::size_t data_read = std::fread(data, 1, rest, file);
    std::memset(data + data_read, 0xFF, rest - data_read);
    result = kermit_checksum(data, rest);
    if (result != 0) {
        print_message("ERROR: Binary checksum not correct. Corrupt file. %d\n", result);
        return image_bad_data_checksum;
    }

    image.layout.length =
        image_header_size + data_size + (settings.no_checksum != 0 ? 0 : image_checksum_size);
    image.layout.load_addr = data_addr - image_header_size;
    image.layout.run_addr = run_addr;
    return image_ok;
}

void describe_image(loaded_image& image, std::uint32_t length) {
    if (length > image_buffer_size) {
        length = image_buffer_size;
    }
    const std::uint8_t* bytes = image.bytes;
    tag_value build;
    tag_value ean;
    tag_value description;
    for (std::uint32_t at = 0; at < length; ++at) {
        if (bytes[at] != '$') {
            const void* next = std::memchr(bytes + at, '$', length - at);
            if (next == nullptr) {
                break;
            }
            at = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(next) - bytes);
        }
        if (spells(bytes, at, length, "$$$BUILD=", 9)) {
            at += 9;
            build.start = bytes + at;
        }
        if (spells(bytes, at, length, "$$$EAN=", 7)) {
            at += 7;
            ean.start = bytes + at;
        }
        if (spells(bytes, at, length, "$$$DESCR=", 9)) {
            at += 9;
            description.start = bytes + at;
        }
    }

    if (ean.start != nullptr) {
        const std::uint32_t offset = static_cast<std::uint32_t>(ean.start - bytes);
        const std::uint32_t available = length - offset;
        read_ean_word(ean.start, available, image.ean.hi);
        if (available > 8) {
            read_ean_word(ean.start + 8, available - 8, image.ean.lo);
        }
    }
    print_message("Firmware build string:    %.*s\nTarget part number:       %08x%08x\n"
                  "Description:              %.*s\n",
                  text_length(build, bytes + length), text_of(build), image.ean.hi, image.ean.lo,
                  text_length(description, bytes + length), text_of(description));
}

int prepare_image(const char* path, loaded_image& image) {
    print_message("Loading image file '%s'...", path);
    const int r = load_image(path, image);
    if (r != image_ok) {
        print_message("Error: Unable to open file '%s' (r=%d)\n", path, r);
        return -1;
    }
    const image_layout& layout = image.layout;
    if (settings.verbose != 0) {
        // 26 off also with "-nocs", whose length leaves out the checksum: the line then shows two
        // bytes less than the header's size, as it always has.
        print_message("Binary data: size=%d, run_addr=0x%04x, load_addr=0x%04x\n",
                      static_cast<int>(layout.length - 26), layout.run_addr, layout.load_addr);
    }
    print_message("OK.\n");
    describe_image(image, layout.length);
    return 0;
}

} // namespace flash
