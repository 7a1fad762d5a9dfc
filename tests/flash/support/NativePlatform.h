// Native side (tests, fuzzers, benchmarks): the flash programmer's platform without Windows. The
// console is scripted, the clock is virtual, the process exit is an exception the test catches,
// and the kernel driver's device objects are emulated VG730 device models in memory.
#pragma once

#include "platform.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Vg730Device;

namespace flash_test {

// What exit_process throws: the process would have ended here with this code.
struct process_exit {
    int code;
};

// One control request as the programmer sent it.
struct sent_request {
    std::uint32_t control_code;
    std::uint32_t word4;                                       // flash command: the command
    std::uint32_t address;                                     // download / upload
    std::uint32_t length;                                      // download / upload
    std::uint32_t version_major, version_minor, version_build; // flash command
    int device;                                                // number it was sent to
};

struct native_platform {
    // Console: attached or not, the keys a person presses, what standard input holds.
    bool console_attached = false;
    std::string console_keys;
    std::string standard_input;
    // Virtual clock: advanced by sleeps and by each control request.
    std::uint32_t clock_ms = 0;
    std::uint32_t ms_per_request = 0;
    // Devices by number; null where none is plugged in.
    Vg730Device* devices[128] = {};
    // Called on every upload answer before the programmer sees it (to corrupt read-back data).
    std::function<void(std::uint32_t address, std::uint8_t* data, std::uint32_t length)> on_upload;

    // What happened.
    std::vector<sent_request> requests;
    std::vector<std::pair<unsigned, unsigned>> beeps; // frequency, duration
    std::uint32_t slept_ms = 0;
    int keys_read = 0;
    int input_reads = 0;
    int open_handles = 0;
    bool record_requests = true;
    // Standard output goes here instead of the capture when set (benchmarks: a null device).
    std::FILE* output_sink = nullptr;
};

// The one platform the portable code runs on; tests reset it before each run.
native_platform& platform_state();
// Fresh state, captured streams emptied, no device object open.
void reset_platform();
void reset_devices();
// Everything written to standard output / standard error since the last reset.
std::string captured_output();
std::string captured_errors();

// Runs the whole programmer as its entry does and returns the exit code, whether it returned or
// ended the process from inside.
int run_program(const std::vector<std::string>& arguments);

} // namespace flash_test
