// Fuzzer: any bytes as the data of a well-formed image, so that the tag scan sees them, over the
// whole image and over every shorter length the first bytes choose.
#include "FuzzPlatform.h"
#include "image.h"
#include "settings.h"

#include "ImageWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 64 * 1024) {
        return 0;
    }
    flash::settings = {};
    vg730::ImageSpec spec;
    spec.data = std::vector<std::uint8_t>(data, data + size);
    const std::vector<std::uint8_t> file = vg730::BuildImage(spec);
    flash_fuzz::serve_file(file.data(), file.size());
    flash::image_layout layout;
    if (flash::load_image("fuzz.img", layout) != 0) {
        __builtin_trap(); // the writer's checksums must pass the reader's checks
    }
    flash::describe_image(layout.length);
    const std::uint32_t cut = size >= 2 ? (data[0] | data[1] << 8) % (layout.length + 1) : 0;
    flash::describe_image(cut);
    return 0;
}
