// Native side: the kernel driver's device objects, answered by emulated VG730 device models.
#include "NativePlatform.h"

#include "Vg730Device.h"
#include "flow.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace flash_test {

namespace {

struct open_object {
    bool used = false;
    int number = 0;
    Vg730Handle handle{};
};
open_object handles[64];

std::uint32_t word(const void* buffer, std::uint32_t offset) {
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const std::uint8_t*>(buffer) + offset, 4);
    return value;
}

// "\\.\Quorvelxlink<n>.info" or ".exclusive"; false for any other name.
bool parse_device_path(const char* path, int& number, Vg730Object& object) {
    const char* prefix = "\\\\.\\Quorvelxlink";
    const std::size_t n = std::strlen(prefix);
    if (std::strncmp(path, prefix, n) != 0) {
        return false;
    }
    char* end = nullptr;
    const long value = std::strtol(path + n, &end, 10);
    if (end == path + n || value < 0 || value > 127) {
        return false;
    }
    number = static_cast<int>(value);
    if (std::strcmp(end, ".info") == 0) {
        object = VG730_OBJECT_INFO;
    } else if (std::strcmp(end, ".exclusive") == 0) {
        object = VG730_OBJECT_EXCLUSIVE;
    } else {
        return false;
    }
    return true;
}

} // namespace

int run_program(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    try {
        return flash::run_programmer(static_cast<int>(arguments.size()), argv.data());
    } catch (const process_exit& exit) {
        return exit.code;
    }
}

void reset_devices() {
    for (open_object& h : handles) {
        h = open_object{};
    }
}

} // namespace flash_test

namespace flash::platform {

using flash_test::platform_state;

bool open_device_object(const char* path, device_ref& device, std::uint32_t& error) {
    int number = 0;
    Vg730Object object = VG730_OBJECT_INFO;
    error = 2; // the system's "file not found"
    if (!flash_test::parse_device_path(path, number, object) ||
        platform_state().devices[number] == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(flash_test::handles); ++i) {
        flash_test::open_object& entry = flash_test::handles[i];
        if (!entry.used) {
            if (vg730_device_open(platform_state().devices[number], platform_state().clock_ms,
                                  object, &entry.handle) != VG730_OK) {
                error = 32; // the system's "sharing violation" stands for every refusal
                return false;
            }
            entry.used = true;
            entry.number = number;
            ++platform_state().open_handles;
            device = i + 1;
            return true;
        }
    }
    error = 4; // too many open files
    return false;
}

void close_device_object(device_ref device) {
    flash_test::open_object& entry = flash_test::handles[device - 1];
    vg730_device_close(platform_state().devices[entry.number], &entry.handle);
    entry.used = false;
    --platform_state().open_handles;
}

bool device_control(device_ref device, std::uint32_t control_code, void* buffer, std::uint32_t size,
                    std::uint32_t& bytes_returned) {
    flash_test::open_object& entry = flash_test::handles[device - 1];
    if (platform_state().record_requests) {
        platform_state().requests.push_back(
            {control_code, flash_test::word(buffer, 4), flash_test::word(buffer, 8),
             flash_test::word(buffer, 12), size >= 24 ? flash_test::word(buffer, 16) : 0,
             size >= 24 ? flash_test::word(buffer, 12) : 0,
             size >= 24 ? flash_test::word(buffer, 20) : 0, entry.number});
    }
    platform_state().clock_ms += platform_state().ms_per_request;
    const std::uint32_t address = flash_test::word(buffer, 8);
    const std::uint32_t length = flash_test::word(buffer, 12);
    bytes_returned = 0;
    const bool ok = vg730_device_ioctl(platform_state().devices[entry.number], &entry.handle,
                                       platform_state().clock_ms, control_code, buffer, size,
                                       &bytes_returned) == VG730_OK;
    if (control_code == 0x8002240C && platform_state().on_upload && length <= 16) {
        platform_state().on_upload(address, static_cast<std::uint8_t*>(buffer) + 16, length);
    }
    return ok;
}

} // namespace flash::platform
