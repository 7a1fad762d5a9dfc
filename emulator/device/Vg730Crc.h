// Portable: the CRC-16/KERMIT the firmware images carry (polynomial 0x1021, reflected, initial 0,
// no final exclusive-or; "123456789" gives 0x2189), and the header check built on it.
#pragma once

#include <stddef.h>
#include <stdint.h>

uint16_t vg730_crc16_kermit(const uint8_t* data, size_t length, uint16_t crc = 0);

// The header check: the KERMIT CRC of the 24 header bytes, with byte 0 entering with its bits in
// reversed order, is 0 for a good header.
uint16_t vg730_header_crc(const uint8_t* header);

uint8_t vg730_reverse_bits(uint8_t byte);
