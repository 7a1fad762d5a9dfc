// Benchmark (native, not a test): the host-side cost of the programming sequence per request
// against the in-process device model with zero latency, beside a bare loop that issues the same
// requests and does nothing else. Prints the figures and their ratio.
// Build it optimised:
//   cmake --preset native -B build/native-release -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/native-release --target flash_sequence_bench
//   build/native-release/bin/flash_sequence_bench [runs]
#include "NativePlatform.h"
#include "driver.h"
#include "identity.h"
#include "image.h"
#include "sequence.h"

#include "ImageWriter.h"
#include "Vg730Device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <cstdlib>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

std::uint8_t image_buffer[flash::image_buffer_size]; // 1 MiB: static, as in the programmer

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

void put(std::uint8_t* b, std::uint32_t offset, std::uint32_t v) {
    std::memcpy(b + offset, &v, 4);
}

// The requests the sequence sends for the image, in its order, each built and issued in turn with
// nothing else done: the floor the programmer's own work is measured against.
void issue_same_requests(flash::platform::device_ref device, const std::vector<std::uint8_t>& file,
                         std::uint32_t load_addr) {
    std::uint32_t returned = 0;
    const auto command = [&](std::uint32_t c) {
        std::uint8_t b[24] = {};
        put(b, 4, c);
        put(b, 12, 255);
        put(b, 16, 255);
        put(b, 20, 255);
        flash::platform::device_control(device, flash::IOCTL_FLASH_COMMAND, b, sizeof b, returned);
    };
    const auto transfer = [&](std::uint32_t code, std::uint32_t address, std::uint32_t length,
                              const std::uint8_t* data) {
        std::uint8_t b[32] = {};
        put(b, 8, address);
        put(b, 12, length);
        if (data != nullptr) {
            std::memcpy(b + 16, data, length);
        }
        flash::platform::device_control(device, code, b, sizeof b, returned);
    };
    const auto length = static_cast<std::uint32_t>(file.size());
    command(flash::FLASH_START);
    command(flash::FLASH_ERASE);
    for (std::uint32_t k = 0; k * 0x10000 < length; ++k) {
        transfer(flash::IOCTL_DOWNLOAD, ((load_addr + k * 0x10000) & 0xFF0000) + 0xFFFE, 0,
                 nullptr);
    }
    command(flash::FLASH_WRITE_MODE);
    for (std::uint32_t offset = 0; offset < length;) {
        const std::uint32_t a = load_addr + offset;
        std::uint32_t n = std::min<std::uint32_t>(16, length - offset);
        if (((a ^ (a + n - 1)) & ~0xFFu) != 0) {
            n = 256 - a % 256;
        }
        transfer(flash::IOCTL_DOWNLOAD, a, n, file.data() + offset);
        offset += n;
    }
    command(flash::FLASH_READ_MODE);
    for (std::uint32_t offset = 0; offset < length; offset += 16) {
        transfer(flash::IOCTL_UPLOAD, load_addr + offset,
                 std::min<std::uint32_t>(16, length - offset), nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // Progress marks are flushed one by one, as to a pipe; a null device keeps file system costs
    // of this machine out of the figures.
    std::FILE* null_output = std::fopen("/dev/null", "w");
    auto device = std::make_unique<Vg730Device>();
    Vg730Identity identity;
    vg730_identity_default(&identity, 0);

    vg730::ImageSpec spec;
    spec.load_addr = 0;
    spec.size = flash::image_buffer_size - 26; // the largest image: 1 MiB in the buffer
    const std::vector<std::uint8_t> file = vg730::BuildImage(spec);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "vessa_flash_bench.img";
    {
        std::FILE* f = std::fopen(path.string().c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    const std::size_t request_count = 2 + 16 + 1 + 65536 + 1 + 65536;

    double best_sequence = 1e9, best_in_memory = 1e9, best_bare = 1e9, best_load = 1e9;
    const std::size_t sequence_requests = request_count;
    char* memory_text = nullptr;
    std::size_t memory_size = 0;
    std::FILE* memory_output = open_memstream(&memory_text, &memory_size);
    // The programmer: image load, checks and the whole sequence, once with its output going to a
    // null device (a system call per flush, as to a pipe) and once into memory (no system call).
    const auto program = [&](std::FILE* output) {
        flash_test::reset_platform();
        flash_test::platform_state().record_requests = false;
        flash_test::platform_state().output_sink = output;
        flash::settings = {};
        vg730_device_init(device.get(), 0, &identity);
        flash_test::platform_state().devices[0] = device.get();
        flash::card_identity card;
        flash::identify_device(0, card);
        std::uint32_t error = 0;
        flash::unique_device handle = flash::open_device(0, true, error);
        flash::loaded_image image{image_buffer};
        const auto start = clock_type::now();
        const int r =
            flash::program_device(handle.get(), path.string().c_str(), card.card_ean, image);
        const double elapsed = seconds_since(start);
        if (r != 0) {
            std::fprintf(stderr, "programming failed: %d\n", r);
            std::exit(1);
        }
        return elapsed;
    };
    for (int run = 0; run < runs; ++run) {
        best_sequence = std::min(best_sequence, program(null_output));
        best_in_memory = std::min(best_in_memory, program(memory_output));

        // The image load alone, which the bare loop does not do.
        flash::loaded_image image{image_buffer};
        auto start = clock_type::now();
        flash::load_image(path.string().c_str(), image);
        best_load = std::min(best_load, seconds_since(start));

        // The bare loop: the same requests through the same platform call, nothing else.
        vg730_device_init(device.get(), 0, &identity);
        std::uint32_t error = 0;
        flash::unique_device handle = flash::open_device(0, true, error);
        start = clock_type::now();
        issue_same_requests(handle.get(), file, 0);
        best_bare = std::min(best_bare, seconds_since(start));
    }
    std::filesystem::remove(path);

    const auto per_request = [&](double seconds) {
        return seconds / static_cast<double>(sequence_requests) * 1e9;
    };
    std::printf("image: %zu bytes, %zu requests per run, best of %d runs\n", file.size(),
                sequence_requests, runs);
    std::printf("bare request loop:                        %8.3f ms  %6.1f ns/request\n",
                best_bare * 1e3, per_request(best_bare));
    std::printf("image load alone:                         %8.3f ms\n", best_load * 1e3);
    const auto line = [&](const char* what, double seconds) {
        const double own = seconds - best_load;
        std::printf("%s %8.3f ms  %6.1f ns/request; without the load %6.1f ns/request, "
                    "ratio %.3f (own work %+.1f%%)\n",
                    what, seconds * 1e3, per_request(seconds), per_request(own), own / best_bare,
                    (own / best_bare - 1) * 100);
    };
    line("sequence, output flushed to a device: ", best_sequence);
    line("sequence, output flushed into memory: ", best_in_memory);
    return 0;
}
