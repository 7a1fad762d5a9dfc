// Portable side: program flow and exit codes.
#include "flow.h"

#include "console.h"
#include "driver.h"
#include "identity.h"
#include "image.h"
#include "index.h"
#include "platform.h"
#include "sequence.h"
#include "settings.h"

namespace flash {

namespace {

// Every run starts from the state of a fresh process.
void reset_program_state() {
    for (unique_device& handle : device_handles) {
        handle.reset();
    }
    reset_image_state();
    reset_card_identity();
}

void print_exclusive_open_failure(std::uint32_t error) {
    char text[4097];
    platform::system_error_text(error, text, sizeof text);
    print_message("Failed to open the device driver (third attempt).\nError code 0x%08x: %sCheck "
                  "that the device is connected and online, and that no other application\nis "
                  "using the device.\n",
                  error, text);
}

// A run that ends inside a device's procedure first ends the work on every device it holds,
// so that none handled before is left in its loader.
[[noreturn]] void end_run_early(int code) {
    end_all_device_work();
    platform::exit_process(code);
}

int run_single_device() {
    const int n = settings.device_number;
    const int r = process_device(n);
    end_device_work(n);
    if (r != 0) {
        end_not_updated(r);
    }
    return 0;
}

// The exit code tells whether every device handled was programmed: a failed run is never
// reported as success. No device found is not a failure.
int run_all_devices() {
    bool any_failed = false;
    for (int n = 0; n < device_count; ++n) {
        if (probe_device(n)) {
            print_message("\n======================================================================"
                          "=====\nProgramming device %d...\n",
                          n);
            if (process_device(n) != 0) {
                any_failed = true;
            }
        }
    }
    end_all_device_work();
    return any_failed ? 1 : 0;
}

} // namespace

int process_device(int n) {
    if (identify_device(n) != 0) {
        return 1;
    }
    print_message("\n");
    if (const int code = asserted_ean_exit_code(); code >= 0) {
        end_run_early(code);
    }
    if (bootstrap_guard_stops()) {
        end_run_early(1);
    }

    std::uint32_t error = 0;
    device_handles[n] = open_device(n, true, error);
    if (!device_handles[n].valid()) {
        print_exclusive_open_failure(error);
        return 1;
    }

    const char* path = settings.image_path;
    char entry_file[index_file_capacity];
    if (settings.index_mode != 0) {
        if (!make_index_path_local(settings.image_path)) {
            print_message("Error: The index file name '%s' is too long for a '.\\' in front.\n",
                          settings.image_path);
            return 1;
        }
        const card_identity& card = current_card();
        if (!find_index_entry(settings.image_path, card.card_ean, card.hardware_version / 256,
                              entry_file)) {
            print_message("Can't find entry for EAN=%08x%08x in index file '%s'.\n",
                          card.card_ean.hi, card.card_ean.lo, settings.image_path);
            return 1;
        }
        path = entry_file;
    }

    if (settings.boot != 0) {
        print_message("!!! Programming Bootloader !!!\n");
    }
    const int r = program_device(device_handles[n].get(), path);
    if (r == program_declined) {
        // Nothing was started on this device: it is let go without FLASH_END.
        device_handles[n].reset();
        end_all_device_work();
        end_not_updated(1);
    }
    return r == 0 ? 0 : 1;
}

int run_programmer(int argc, const char* const* argv) {
    reset_program_state();
    print_banner();
    switch (parse_command_line(argc, argv)) {
    case parse_result::ok:
        break;
    case parse_result::usage:
        print_usage();
    case parse_result::path_too_long:
        print_path_too_long();
    }
    return settings.all_devices != 0 ? run_all_devices() : run_single_device();
}

} // namespace flash
