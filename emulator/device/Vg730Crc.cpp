// Portable: CRC-16/KERMIT, bit by bit (the images are small and the code must stay freestanding).
#include "Vg730Crc.h"

uint8_t vg730_reverse_bits(uint8_t byte) {
    uint8_t result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        result = static_cast<uint8_t>((result << 1) | ((byte >> bit) & 1));
    }
    return result;
}

uint16_t vg730_crc16_kermit(const uint8_t* data, size_t length, uint16_t crc) {
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ data[i]);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408)
                            : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

uint16_t vg730_header_crc(const uint8_t* header) {
    const uint8_t first = vg730_reverse_bits(header[0]);
    return vg730_crc16_kermit(header + 1, 23, vg730_crc16_kermit(&first, 1));
}
