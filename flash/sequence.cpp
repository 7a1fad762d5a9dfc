// Portable side: start, erase, erase check, download, compare.
#include "sequence.h"

#include "console.h"
#include "driver.h"
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
        // No line end of its own: whatever follows a refused start begins with one.
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

// A refused request is reported as what failed, then its r and status.
void print_refusal(const char* what, const request_result& result) {
    print_message("%s (r=%d, status=%d)\n", what, result.r, static_cast<int>(result.status));
}

// Announces a phase and sends its flash command; false, with the refusal printed, when the
// device does not accept it.
bool enter_phase(platform::device_ref device, const char* announcement, std::uint32_t command,
                 const char* refusal) {
    print_message("%s", announcement);
    const request_result result = send_command(device, command);
    if (!result.ok()) {
        print_refusal(refusal, result);
        return false;
    }
    return true;
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
bool check_erase(platform::device_ref device, const image_layout& layout) {
    for (std::uint32_t k = 0; k * bank_size < layout.length; ++k) {
        const std::uint32_t address = ((layout.load_addr + k * bank_size) & 0x00FF0000u) + 0xFFFEu;
        const request_result result = download(device, address, 0, nullptr);
        if (!result.ok()) {
            print_refusal("Flash erasing failed", result);
            return false;
        }
    }
    return true;
}

bool download_image(platform::device_ref device, const loaded_image& image) {
    const image_layout& layout = image.layout;
    const std::uint8_t* bytes = image.bytes;
    const std::uint32_t started = platform::milliseconds();
    std::uint32_t requests = 0;
    for (std::uint32_t offset = 0; offset < layout.length;) {
        const std::uint32_t address = layout.load_addr + offset;
        std::uint32_t length = layout.length - offset;
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
                  static_cast<int>(rate(layout.length, started)), static_cast<int>(layout.length));
    return true;
}

// Uploads everything and compares; false when an upload failed or any chunk differed.
bool compare_image(platform::device_ref device, const loaded_image& image) {
    const image_layout& layout = image.layout;
    const std::uint8_t* bytes = image.bytes;
    const std::uint32_t started = platform::milliseconds();
    std::uint32_t requests = 0;
    int errors = 0;
    // Set when a line end was printed since the last progress mark.
    bool line_ended = false;
    bool ran_to_end = true;
    for (std::uint32_t offset = 0; offset < layout.length;) {
        const std::uint32_t address = layout.load_addr + offset;
        std::uint32_t length = layout.length - offset;
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
                  static_cast<int>(rate(layout.length, started)), static_cast<int>(layout.length));
    return errors == 0;
}

} // namespace

int program_device(platform::device_ref device, const char* path, ean_words card_ean,
                   loaded_image& image) {
    if (prepare_image(path, image) != 0) {
        return -1;
    }
    if (!confirm_programming(card_ean, image.ean)) {
        return program_declined;
    }

    const request_result start = send_command(device, FLASH_START);
    if (!start.ok()) {
        print_refusal("\nUnable to start flash programming", start);
        print_start_hint(start.status);
        return -1;
    }
    if (!enter_phase(device, "Erasing...", FLASH_ERASE, "Unable to start flash erasing") ||
        !check_erase(device, image.layout) ||
        !enter_phase(device, "\nDownload started: ", FLASH_WRITE_MODE,
                     "Unable to go into write mode") ||
        !download_image(device, image) ||
        !enter_phase(device, "Starting compare: ", FLASH_READ_MODE,
                     "Unable to go into read mode")) {
        return -1;
    }
    return compare_image(device, image) ? 0 : -1;
}

} // namespace flash
