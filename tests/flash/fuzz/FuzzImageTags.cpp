// Fuzzer: any bytes as the data of a well-formed image, so that the tag scan sees them, over the
// whole image and over every shorter length the first bytes choose.
#include "FuzzPlatform.h"
#include "image.h"
#include "settings.h"

#include "ImageWriter.h"

namespace {

std::uint8_t image_buffer[flash::image_buffer_size]; // 1 MiB: static, as in the programmer

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) {
        return 0;
    }
    flash::settings = {};
    vg730::ImageSpec spec;
    spec.data = std::vector<std::uint8_t>(data, data + size);
    const std::vector<std::uint8_t> file = vg730::BuildImage(spec);
    flash_fuzz::serve_file(file.data(), file.size());
    flash::loaded_image image{image_buffer};
    if (flash::load_image("fuzz.img", image) != 0) {
        __builtin_trap(); // the writer's checksums must pass the reader's checks
    }
    const std::uint32_t length = image.layout.length;
    flash::describe_image(image, length);
    const std::uint32_t cut = size >= 2 ? (data[0] | data[1] << 8) % (length + 1) : 0;
    flash::describe_image(image, cut);
    return 0;
}
