// Portable: building the bytes of a firmware image.
#include "ImageWriter.h"

#include "Vg730Crc.h"

#include <fstream>
#include <stdexcept>

namespace vg730 {

namespace {

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A small generator, so images depend on nothing but their seed.
std::vector<std::uint8_t> filler(std::uint32_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    for (auto& byte : data) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return data;
}

void append_tag(std::vector<std::uint8_t>& tags, const char* keyword, const std::string& value,
                bool zero_ended) {
    const std::string text = std::string("$$$") + keyword + value;
    tags.insert(tags.end(), text.begin(), text.end());
    if (zero_ended) {
        tags.push_back(0);
    }
}

std::vector<std::uint8_t> data_of(const ImageSpec& spec) {
    if (spec.data) {
        return *spec.data;
    }
    std::vector<std::uint8_t> tags;
    if (spec.build) {
        append_tag(tags, "BUILD=", *spec.build, true);
    }
    if (spec.ean) {
        append_tag(tags, "EAN=", *spec.ean, true);
    }
    if (spec.description) {
        append_tag(tags, "DESCR=", *spec.description, true);
    }
    if (spec.tag_offset > spec.size || tags.size() > spec.size - spec.tag_offset) {
        throw std::invalid_argument("the tags do not fit into " + std::to_string(spec.size) +
                                    " data bytes");
    }
    std::vector<std::uint8_t> data = filler(spec.size, spec.seed);
    std::copy(tags.begin(), tags.end(), data.begin() + spec.tag_offset);
    return data;
}

} // namespace

ImageSpec DefaultImageSpec() {
    ImageSpec spec;
    spec.size = 200 * 1024;
    return spec;
}

std::vector<std::uint8_t> BuildImage(const ImageSpec& spec) {
    const std::vector<std::uint8_t> data = data_of(spec);
    const auto size = static_cast<std::uint32_t>(data.size());

    std::vector<std::uint8_t> image(24);
    put32(image, 0, 0x33374756); // "VG73"
    put32(image, 4, spec.data_addr ? *spec.data_addr : spec.load_addr + 24);
    put32(image, 8, size);
    put32(image, 12, spec.run_addr);
    // Bytes 22 and 23 carry the header checksum: the CRC of what precedes them, low byte first,
    // makes the CRC over the whole header 0.
    const std::uint8_t first = vg730_reverse_bits(image[0]);
    const std::uint16_t crc =
        vg730_crc16_kermit(image.data() + 1, 21, vg730_crc16_kermit(&first, 1));
    image[22] = static_cast<std::uint8_t>(crc);
    image[23] = static_cast<std::uint8_t>(crc >> 8);
    if (spec.bad_header_checksum) {
        image[22] ^= 0x01;
    }

    image.insert(image.end(), data.begin(), data.end());
    std::uint16_t data_crc = vg730_crc16_kermit(data.data(), data.size());
    if (spec.bad_data_checksum) {
        data_crc ^= 0x0001;
    }
    image.push_back(static_cast<std::uint8_t>(data_crc));
    image.push_back(static_cast<std::uint8_t>(data_crc >> 8));

    const std::vector<std::uint8_t> extra = filler(spec.extra_bytes, spec.seed + 1);
    image.insert(image.end(), extra.begin(), extra.end());
    if (spec.truncate && *spec.truncate < image.size()) {
        image.resize(*spec.truncate);
    }
    return image;
}

void WriteImageFile(const std::filesystem::path& path, const ImageSpec& spec) {
    const std::vector<std::uint8_t> image = BuildImage(spec);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write the image file " + path.string());
    }
}

} // namespace vg730
