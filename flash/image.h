// Portable side: the firmware image file (".img"): header, data, the two CRC-16 checksums and
// the "$$$" text tags. The whole file lives in a 1 MiB buffer of static storage that the caller
// owns; nothing is on the heap.
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

// The EAN of an image without an EAN tag; it matches no hardware.
constexpr ean_words untagged_image_ean{0xFFFFFFFFu, 0xFFFFFFFFu};

// An image file as loaded: its bytes, where they go, and the EAN its tag names.
struct loaded_image {
    explicit loaded_image(std::uint8_t (&buffer)[image_buffer_size]) : bytes(buffer) {}

    std::uint8_t* bytes; // image_buffer_size of them: the file's first bytes in file order
    image_layout layout;
    ean_words ean = untagged_image_ean;
};

// One step of the byte-wise CRC-CCITT (polynomial 0x1021, most significant bit first) on the
// register; with reflected set the byte enters and the result leaves bit-reversed, which over
// every byte gives CRC-16/KERMIT. Returns the result after this byte.
std::uint16_t crc16_update(std::uint16_t& crc_register, std::uint8_t byte, bool reflected);

// Loads the file into the image's buffer and checks both checksums; prints the failing step's
// message and returns one of the result codes above. The image's EAN is reset first, so that an
// image without an EAN tag never passes for the hardware of one loaded before it.
int load_image(const char* path, loaded_image& image);
// Prints the tags found in the first length bytes of the image's buffer and takes the image's EAN
// from its EAN tag.
void describe_image(loaded_image& image, std::uint32_t length);
// "Loading image file ..." with load_image and describe_image: 0 when ready, -1 otherwise.
int prepare_image(const char* path, loaded_image& image);

} // namespace flash
