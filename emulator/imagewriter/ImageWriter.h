// Portable: writes VG730 firmware images, good ones and every kind of broken one a test needs.
// Layout: a 24-byte header (word 0, data_addr, size, run_addr, word 4, word 5), the data with
// its "$$$" tags, the data's CRC-16/KERMIT low byte first, then whatever extra bytes are asked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vg730 {

struct ImageSpec {
    // Tag values; nullopt leaves the tag out. The EAN is written as given (16 hex digits when
    // it is meant to be read).
    std::optional<std::string> build = "2.05.177 emulated VG730 sample firmware";
    std::optional<std::string> ean = "0007300099001237";
    std::optional<std::string> description = "VG730 sample firmware for the emulated gateway";
    // Where the tags begin inside the data.
    std::uint32_t tag_offset = 64;
    // Number of data bytes; the tags must fit inside them.
    std::uint32_t size = 4096;
    // Device address of the header; the data follow at load_addr + 24 unless data_addr says
    // otherwise (a header that lies about it).
    std::uint32_t load_addr = 0x10000;
    std::optional<std::uint32_t> data_addr;
    std::uint32_t run_addr = 0x10100;
    // Filler of the data around the tags: the same seed gives the same bytes.
    std::uint32_t seed = 1;
    // Data used verbatim instead of filler and tags; size is then its length.
    std::optional<std::vector<std::uint8_t>> data;
    bool bad_header_checksum = false;
    bool bad_data_checksum = false;
    // Bytes after the data checksum (the flash programmer does not read them).
    std::uint32_t extra_bytes = 0;
    // Cut the finished file to this many bytes.
    std::optional<std::uint32_t> truncate;
};

// The image the build places next to the programs: EAN 0007300099001237, build 2.05.177,
// 200 KiB of data.
ImageSpec DefaultImageSpec();
inline constexpr const char* DefaultImageFileName = "vozadoror_7300099001237_nodebug.img";

// The file's bytes. Throws std::invalid_argument when the tags do not fit the data.
std::vector<std::uint8_t> BuildImage(const ImageSpec& spec);
// Throws std::runtime_error when the file cannot be written.
void WriteImageFile(const std::filesystem::path& path, const ImageSpec& spec);

// The length the flash programmer downloads for an image: header, data and checksum.
inline std::uint32_t ProgrammedLength(const ImageSpec& spec) {
    return 24 + (spec.data ? static_cast<std::uint32_t>(spec.data->size()) : spec.size) + 2;
}

// The command line of the image writer tool; throws std::invalid_argument with a message for
// the user on a bad argument.
struct ImageWriterCommand {
    std::filesystem::path output;
    ImageSpec spec;
};
ImageWriterCommand ParseImageWriterArguments(const std::vector<std::string>& args);
extern const char* const ImageWriterUsage;

} // namespace vg730
