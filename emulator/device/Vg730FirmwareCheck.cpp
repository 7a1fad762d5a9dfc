// Portable: the gateway's check of a freshly programmed image.
#include "Vg730FirmwareCheck.h"

#include "Vg730Bytes.h"
#include "Vg730Crc.h"

namespace {

bool read_number(const uint8_t* text, uint32_t length, uint32_t& pos, uint32_t& value) {
    const uint32_t start = pos;
    value = 0;
    while (pos < length && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
        if (value > 0xFFFF) {
            return false;
        }
        ++pos;
    }
    return pos > start;
}

const uint8_t BuildTag[] = {'$', '$', '$', 'B', 'U', 'I', 'L', 'D', '='};
const uint32_t BuildTagLength = sizeof(BuildTag);

// The version of the last build tag in the region, as the flash programmer also takes the last.
bool find_build_version(const uint8_t* region, uint32_t length, Vg730Version* version) {
    bool found = false;
    for (uint32_t pos = 0; pos + BuildTagLength <= length; ++pos) {
        uint32_t i = 0;
        while (i < BuildTagLength && region[pos + i] == BuildTag[i]) {
            ++i;
        }
        if (i == BuildTagLength) {
            Vg730Version candidate;
            const uint32_t value = pos + BuildTagLength;
            found = vg730_parse_build_text(region + value, length - value, &candidate);
            *version = found ? candidate : Vg730Version{0, 0, 0};
        }
    }
    return found;
}

} // namespace

bool vg730_parse_build_text(const uint8_t* text, uint32_t length, Vg730Version* version) {
    uint32_t end = 0;
    while (end < length && text[end] != 0) {
        ++end;
    }
    uint32_t pos = 0;
    Vg730Version parsed{0, 0, 0};
    if (!read_number(text, end, pos, parsed.major) || pos >= end || text[pos++] != '.' ||
        !read_number(text, end, pos, parsed.minor) || pos >= end || text[pos++] != '.' ||
        !read_number(text, end, pos, parsed.build)) {
        return false;
    }
    *version = parsed;
    return true;
}

bool vg730_check_image(const uint8_t* flash, uint32_t flash_size, uint32_t load_addr,
                       Vg730Version* version) {
    *version = Vg730Version{0, 0, 0};
    if (load_addr >= flash_size || flash_size - load_addr < VG730_HEADER_SIZE + 2) {
        return false;
    }
    const uint8_t* header = flash + load_addr;
    if (vg730_header_crc(header) != 0) {
        return false;
    }
    const uint32_t data_addr = vg730_get32(header + 4);
    const uint32_t size = vg730_get32(header + 8);
    if (data_addr != load_addr + VG730_HEADER_SIZE) {
        return false;
    }
    // Data and its two checksum bytes must lie inside the flash; no sum here may overflow.
    const uint32_t room = flash_size - data_addr;
    if (size > room || room - size < 2) {
        return false;
    }
    if (vg730_crc16_kermit(flash + data_addr, size + 2u) != 0) {
        return false;
    }
    Vg730Version found{0, 0, 0};
    if (find_build_version(header, VG730_HEADER_SIZE + size, &found)) {
        *version = found;
    }
    return true;
}
