// Portable side: the identity of the device being handled (serial number, versions, EAN) and the
// hardware type named by its EAN.
#pragma once

#include "settings.h"

#include <cstdint>

namespace flash {

// All zero until a complete identity read.
struct card_identity {
    ean_words card_ean;
    std::uint32_t hardware_version = 0; // major * 256 + minor
};

// Reads and prints the identity of device n over its ".info" object into card. 0 when the object
// opened (whether or not the identity could be read), 1 when it cannot be opened. card is reset
// first, so a device whose requests fail never inherits the identity of the one handled before it.
int identify_device(int n, card_identity& card);

// The hardware type line for an EAN (ends with a line end).
void print_hardware_type(ean_words ean);

// Firmware version packed in decimal digits, as the identity line prints it.
std::uint32_t packed_firmware_version(std::uint32_t major, std::uint32_t minor,
                                      std::uint32_t build);

} // namespace flash
