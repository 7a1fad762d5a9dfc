// Portable side: the firmware image file (".img"): header, data, the two CRC-16 checksums and
// the "$$$" text tags. The whole file lives in one static 1 MiB buffer; nothing is on the heap.
#pragma once

#include "settings.h"

#include <cstdint>

namespace flash {

constexpr std::uint32_t image_buffer_size = 1u << 20;
constexpr std::uint32_t image_header_size = 24;
constexpr std::uint32_t image_checksum_size = 2;

// Result codes of load_image.
constexpr int image_ok = 0;
constexpr int image_cannot_open = -1;
constexpr int image_no_data = -2;
constexpr int image_bad_header_checksum = -3;
constexpr int image_bad_data_checksum = -5;
constexpr int image_header_cut_short = -6; // the file ends inside the 24 header bytes
constexpr int image_too_large = -7;        // header, data and checksum exceed the buffer

// Where a loaded image goes: the buffer's byte i belongs at device address load_addr + i.
struct image_layout {
    std::uint32_t length = 0; // bytes to download and compare: data + 26, or + 24 with "-nocs"
    std::uint32_t load_addr = 0;
    std::uint32_t run_addr = 0;
};

// One step of the byte-wise CRC-CCITT (polynomial 0x1021, most significant bit first) on the
// register; with reflected set the byte enters and the result leaves bit-reversed, which over
// every byte gives CRC-16/KERMIT. Returns the result after this byte.
std::uint16_t crc16_update(std::uint16_t& crc_register, std::uint8_t byte, bool reflected);

// Loads the file into the image buffer and checks both checksums; prints the failing step's
// message and returns one of the result codes above. The image EAN is reset first.
int load_image(const char* path, image_layout& layout);
// Prints the tags found in the first length bytes of the buffer and takes the image EAN from
// its EAN tag.
void describe_image(std::uint32_t length);
// "Loading image file ..." with load_image and describe_image: 0 when ready, -1 otherwise.
int prepare_image(const char* path, image_layout& layout);

// The loaded bytes (image_buffer_size of them).
const std::uint8_t* image_data();
// The EAN of the image loaded last; all ones when it has no EAN tag.
ean_words image_ean();
// No EAN seen, as at program start and at the start of every image load.
void reset_image_state();

} // namespace flash
