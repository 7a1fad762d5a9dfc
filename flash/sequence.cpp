// Portable side: start, erase, erase check, download, compare.
#include "sequence.h"

#include "console.h"
#include "driver.h"
#include "identity.h"
#include "image.h"

#include <cstring>

namespace flash {

namespace {

constexpr std::uint32_t bank_size = 0x10000;
constexpr std::uint32_t page_size = 0x100;
constexpr std::uint32_t requests_per_mark = 64;
constexpr int max_compare_errors = 300;

// Device state after a refused start, by status: what the user most likely has to do.
void print_start_hint(std::uint32_t status) {
    if (status == 4) {
        print_message("This is probably because this programming tool is outdated.");
    } else if (status == 7) {
        print_message("The target device did not accept the version of the firmware you\nare "
                      "trying to download, probably because it is too old.\n");
    } else {
        print_message("This often happens because another application that uses the device\nin "
                      "question is running. For example, a CAN analyzer tool or\nVarnik Recordix "
                      "setup program.\n");
    }
}

request_result send_command(platform::device_ref device, std::uint32_t command) {
    const version_words& v = settings.target_version;
    return flash_command(device, command, v.major, v.minor, v.build);
}

// Bytes per second of a phase; a phase within one millisecond counts as one.
unsigned rate(std::uint32_t length, std::uint32_t started) {
    std::uint32_t elapsed = platform::milliseconds() - started;
    if (elapsed == 0) {
        elapsed = 1;
    }
    return length * 1000u / elapsed;
}

// A zero-length download to the last two bytes of every 64 KiB bank the image touches, counted
// from the bank of load_addr: the device accepts it only where the bank reads erased.
bool check_erase(platform::device_ref device, const image_layout& image) {
    for (std::uint32_t k = 0; k * bank_size < image.length; ++k) {
        const std::uint32_t address = ((image.load_addr + k * bank_size) & 0x00FF0000u) + 0xFFFEu;
        const request_result result = download(device, address, 0, nullptr);
        if (!result.ok()) {
            print_message("Flash erasing failed (r=%d, status=%d)\n", result.r,
                          static_cast<int>(result.status));
            return false;
        }
    }
    return true;
}

bool download_image(platform::device_ref device, const image_layout& image) {
    const std::uint8_t* bytes = image_data();
    const std::uint32_t started = platform::milliseconds();
    std::uint32_t requests = 0;
    for (std::uint32_t offset = 0; offset < image.length;) {
        const std::uint32_t address = image.load_addr + offset;
        std::uint32_t length = image.length - offset;
        if (length > max_transfer_length) {
            length = max_transfer_length;
        }
        if (((address ^ (address + length - 1)) & ~(page_size - 1)) != 0) {
            length = page_size - address % page_size;
        }
        if (requests % requests_per_mark == 0) {
            print_progress_mark();
        }
        const request_result result = download(device, address, length, bytes + offset);
        if (!result.ok()) {
            print_message("Error: Download failed (addr=0x%04x, len=0x%x, r=%d, status=%d)\n",
                          address, length, result.r, static_cast<int>(result.status));
            return false;
        }
        ++requests;
        offset += length;
    }
    print_message("\nDownload complete (%d bytes/s, total %d bytes).\n",
                  static_cast<int>(rate(image.length, started)), static_cast<int>(image.length));
    return true;
}

// Uploads everything and compares; false when an upload failed or any chunk differed.
bool compare_image(platform::device_ref device, const image_layout& image) {
    const std::uint8_t* bytes = image_data();
    const std::uint32_t started = platform::milliseconds();
    std::uint32_t requests = 0;
    int errors = 0;
    // Set when a line end was printed since the last progress mark.
    bool line_ended = false;
    bool ran_to_end = true;
    for (std::uint32_t offset = 0; offset < image.length;) {
        const std::uint32_t address = image.load_addr + offset;
        std::uint32_t length = image.length - offset;
        if (length > max_transfer_length) {
            length = max_transfer_length;
        }
        if (requests % requests_per_mark == 0) {
            print_progress_mark();
            line_ended = false;
        }
        std::uint8_t read_back[max_transfer_length];
        const request_result result = upload(device, address, length, read_back);
        if (!result.ok()) {
            if (!line_ended) {
                print_message("\n");
            }
            print_message("Failed to upload data (addr=0x%04x, r=%d, status=%d)\n", address,
                          result.r, static_cast<int>(result.status));
            return false;
        }
        if (std::memcmp(read_back, bytes + offset, length) != 0) {
            if (!line_ended) {
                print_message("\n");
            }
            ++errors;
            line_ended = true;
        }
        if (errors > max_compare_errors) {
            if (!line_ended) {
                print_message("\n");
            }
            print_message("Too many errors (no less than %d)\n", errors);
            ran_to_end = false;
            break;
        }
        ++requests;
        offset += length;
    }
    if (ran_to_end && !line_ended) {
        print_message("\n");
    }
    print_message("Compare finished (%d bytes/s, total %d bytes).\n",
                  static_cast<int>(rate(image.length, started)), static_cast<int>(image.length));
    return errors == 0;
}

} // namespace

int program_device(platform::device_ref device, const char* path) {
    image_layout image;
    if (prepare_image(path, image) != 0) {
        return -1;
    }
    if (!confirm_programming(current_card().card_ean, image_ean())) {
        return program_declined;
    }

    request_result result = send_command(device, FLASH_START);
    if (!result.ok()) {
        print_message("\nUnable to start flash programming (r=%d, status=%d)\n", result.r,
                      static_cast<int>(result.status));
        print_start_hint(result.status);
        return -1;
    }

    print_message("Erasing...");
    result = send_command(device, FLASH_ERASE);
    if (!result.ok()) {
        print_message("Unable to start flash erasing (r=%d, status=%d)\n", result.r,
                      static_cast<int>(result.status));
        return -1;
    }
    if (!check_erase(device, image)) {
        return -1;
    }

    print_message("\nDownload started: ");
    result = send_command(device, FLASH_WRITE_MODE);
    if (!result.ok()) {
        print_message("Unable to go into write mode (r=%d, status=%d)\n", result.r,
                      static_cast<int>(result.status));
        return -1;
    }
    if (!download_image(device, image)) {
        return -1;
    }

    print_message("Starting compare: ");
    result = send_command(device, FLASH_READ_MODE);
    if (!result.ok()) {
        print_message("Unable to go into read mode (r=%d, status=%d)\n", result.r,
                      static_cast<int>(result.status));
        return -1;
    }
    return compare_image(device, image) ? 0 : -1;
}

} // namespace flash
