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

// The bytes of the image being programmed: static storage, as 1 MiB is more than a stack can be
// counted on to hold, and the programmer keeps nothing on the heap.
std::uint8_t image_buffer[image_buffer_size];

// Everything a run keeps besides the settings. A run makes its own, so every run starts from the
// state of a fresh process.
struct program_run {
    // The exclusive handle of each device being programmed, indexed by device number.
    unique_device device_handles[device_count];
    // The device being handled and the image loaded for it.
    card_identity card;
    loaded_image image{image_buffer};
};

// How the work on one device ended. The EAN assertion, the bootstrap guard and a declined prompt
// end the whole run at the device they meet.
struct device_outcome {
    enum kind_type { programmed, failed, run_ends, declined };
    kind_type kind;
    int exit_code = 0; // run_ends: the code the run ends with
    bool ends_run() const { return kind == run_ends || kind == declined; }
};

void print_exclusive_open_failure(std::uint32_t error) {
    char text[4097];
    platform::system_error_text(error, text, sizeof text);
    print_message("Failed to open the device driver (third attempt).\nError code 0x%08x: %sCheck "
                  "that the device is connected and online, and that no other application\nis "
                  "using the device.\n",
                  error, text);
}

// Identify, check, open exclusively, choose the image, program.
device_outcome process_device(program_run& run, int n) {
    if (identify_device(n, run.card) != 0) {
        return {device_outcome::failed};
    }
    print_message("\n");
    if (const int code = asserted_ean_exit_code(run.card.card_ean); code >= 0) {
        return {device_outcome::run_ends, code};
    }
    if (bootstrap_guard_stops(run.card.card_ean)) {
        return {device_outcome::run_ends, 1};
    }

    std::uint32_t error = 0;
    unique_device& handle = run.device_handles[n];
    handle = open_device(n, true, error);
    if (!handle.valid()) {
        print_exclusive_open_failure(error);
        return {device_outcome::failed};
    }

    const char* path = settings.image_path;
    char entry_file[index_file_capacity];
    if (settings.index_mode != 0) {
        if (!make_index_path_local(settings.image_path)) {
            print_message("Error: The index file name '%s' is too long for a '.\\' in front.\n",
                          settings.image_path);
            return {device_outcome::failed};
        }
        const card_identity& card = run.card;
        if (!find_index_entry(settings.image_path, card.card_ean, card.hardware_version / 256,
                              entry_file)) {
            print_message("Can't find entry for EAN=%08x%08x in index file '%s'.\n",
                          card.card_ean.hi, card.card_ean.lo, settings.image_path);
            return {device_outcome::failed};
        }
        path = entry_file;
    }

    if (settings.boot != 0) {
        print_message("!!! Programming Bootloader !!!\n");
    }
    const int r = program_device(handle.get(), path, run.card.card_ean, run.image);
    if (r == program_declined) {
        return {device_outcome::declined};
    }
    return {r == 0 ? device_outcome::programmed : device_outcome::failed};
}

// FLASH_END to every device whose handle is held, in ascending order of device number.
void end_all_device_work(program_run& run) {
    for (unique_device& handle : run.device_handles) {
        end_device_work(handle);
    }
}

// A run that ends at device n first ends the work on every device it holds, so that none handled
// before is left in its loader. Device n itself was never started: it is let go without FLASH_END.
int end_run_early(program_run& run, int n, const device_outcome& outcome) {
    run.device_handles[n].reset();
    end_all_device_work(run);
    return outcome.kind == device_outcome::declined ? end_not_updated(1) : outcome.exit_code;
}

int run_single_device(program_run& run) {
    const int n = settings.device_number;
    const device_outcome outcome = process_device(run, n);
    if (outcome.ends_run()) {
        return end_run_early(run, n, outcome);
    }
    end_device_work(run.device_handles[n]);
    return outcome.kind == device_outcome::programmed ? 0 : end_not_updated(1);
}

// The exit code tells whether every device handled was programmed: a failed run is never
// reported as success. No device found is not a failure.
int run_all_devices(program_run& run) {
    bool any_failed = false;
    for (int n = 0; n < device_count; ++n) {
        if (probe_device(n)) {
            print_message("\n======================================================================"
                          "=====\nProgramming device %d...\n",
                          n);
            const device_outcome outcome = process_device(run, n);
            if (outcome.ends_run()) {
                return end_run_early(run, n, outcome);
            }
            if (outcome.kind == device_outcome::failed) {
                any_failed = true;
            }
        }
    }
    end_all_device_work(run);
    return any_failed ? 1 : 0;
}

} // namespace

int run_programmer(int argc, const char* const* argv) {
    print_banner();
    switch (parse_command_line(argc, argv)) {
    case parse_result::ok:
        break;
    case parse_result::usage:
        print_usage();
        return 1;
    case parse_result::path_too_long:
        print_path_too_long();
        return 1;
    }
    program_run run;
    return settings.all_devices != 0 ? run_all_devices(run) : run_single_device(run);
}

} // namespace flash
