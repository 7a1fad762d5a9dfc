// Fuzzer: any bytes as an image file: the loader refuses or loads them, and reads nothing past
// its buffer; a loaded image is then described. The first byte chooses options and whether the
// harness mends the header or data checksum, so that the paths behind the checks are reached too.
#include "FuzzPlatform.h"
#include "image.h"
#include "settings.h"

#include "Vg730Crc.h"

#include <cstring>
#include <vector>

namespace {

void mend_checksums(std::vector<std::uint8_t>& file, std::uint8_t choice) {
    if ((choice & 2) != 0 && file.size() >= 24) {
        file[0] = 0; // reads the same reflected
        const std::uint16_t crc = vg730_crc16_kermit(file.data(), 22);
        file[22] = static_cast<std::uint8_t>(crc);
        file[23] = static_cast<std::uint8_t>(crc >> 8);
    }
    if ((choice & 4) != 0 && file.size() >= 26) {
        std::uint32_t size = 0;
        std::memcpy(&size, file.data() + 8, 4);
        if (size <= file.size() - 26) {
            const std::uint16_t crc = vg730_crc16_kermit(file.data() + 24, size);
            file[24 + size] = static_cast<std::uint8_t>(crc);
            file[25 + size] = static_cast<std::uint8_t>(crc >> 8);
        }
    }
}

std::uint8_t image_buffer[flash::image_buffer_size]; // 1 MiB: static, as in the programmer

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        flash_fuzz::serve_file(data, 0);
        flash::loaded_image image{image_buffer};
        flash::prepare_image("fuzz.img", image);
        return 0;
    }
    flash::settings = {};
    flash::settings.no_checksum = data[0] & 1;
    flash::settings.verbose = (data[0] >> 3) & 1;
    std::vector<std::uint8_t> file(data + 1, data + size);
    mend_checksums(file, data[0]);
    flash_fuzz::serve_file(file.data(), file.size());
    flash::loaded_image image{image_buffer};
    if (flash::prepare_image("fuzz.img", image) == 0 &&
        image.layout.length > flash::image_buffer_size) {
        __builtin_trap();
    }
    return 0;
}
