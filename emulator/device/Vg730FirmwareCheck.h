// Portable: what the gateway checks after programming: the header at the load address, the data
// and its checksum as the image file holds them, and the version named by the "$$$BUILD=" tag.
#pragma once

#include "Vg730Device.h"

#include <stdint.h>

// True when flash holds a whole image at load_addr: good header checksum, data address right
// behind the header, data and checksum inside the flash, good data checksum. version is then the
// one the build tag names (0.0.0 without a readable tag); on a bad image it is 0.0.0.
bool vg730_check_image(const uint8_t* flash, uint32_t flash_size, uint32_t load_addr,
                       Vg730Version* version);

// Reads "major.minor.build" from the start of text (length bytes, or up to a zero byte). Each
// part is decimal, at most 65535; anything may follow the build number except another digit.
bool vg730_parse_build_text(const uint8_t* text, uint32_t length, Vg730Version* version);
