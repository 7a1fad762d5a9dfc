// Portable side: device objects and the six control requests of the kernel driver.
#include "driver.h"

#include "console.h"

#include <cstdio>
#include <cstring>

namespace flash {

namespace {

constexpr const char* device_base_name = "Quorvelxlink";
constexpr int open_attempts = 5;
constexpr unsigned open_retry_pause_ms = 500;

void put_word(std::uint8_t* buffer, std::uint32_t offset, std::uint32_t value) {
    buffer[offset] = static_cast<std::uint8_t>(value);
    buffer[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    buffer[offset + 2] = static_cast<std::uint8_t>(value >> 16);
    buffer[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t get_word(const std::uint8_t* buffer, std::uint32_t offset) {
    return std::uint32_t{buffer[offset]} | std::uint32_t{buffer[offset + 1]} << 8 |
           std::uint32_t{buffer[offset + 2]} << 16 | std::uint32_t{buffer[offset + 3]} << 24;
}

void device_path(int n, bool exclusive, char (&path)[64]) {
    std::snprintf(path, sizeof path, exclusive ? "\\\\.\\%s%d.exclusive" : "\\\\.\\%s%d.info",
                  device_base_name, n);
}

struct call_result {
    bool succeeded;
    std::uint32_t bytes_returned;
};

call_result control(platform::device_ref device, std::uint32_t code, std::uint8_t* buffer,
                    std::uint32_t size) {
    std::uint32_t returned = 0;
    const bool succeeded = platform::device_control(device, code, buffer, size, returned);
    return {succeeded, returned};
}

void trace(const char* format, const call_result& call) {
    if (settings.debug != 0) {
        print_message(format, call.succeeded ? 1 : 0, static_cast<int>(call.bytes_returned));
    }
}

request_result result_of(const call_result& call, const std::uint8_t* buffer) {
    return {call.succeeded ? 0 : -1, get_word(buffer, 0)};
}

} // namespace

unique_device& unique_device::operator=(unique_device&& other) noexcept {
    if (this != &other) {
        reset();
        device_ = other.device_;
        valid_ = other.valid_;
        other.valid_ = false;
    }
    return *this;
}

void unique_device::reset() {
    if (valid_) {
        platform::close_device_object(device_);
        valid_ = false;
    }
}

unique_device open_device(int n, bool exclusive, std::uint32_t& error) {
    char path[64];
    device_path(n, exclusive, path);
    for (int attempt = 0; attempt < open_attempts; ++attempt) {
        platform::device_ref device = 0;
        if (platform::open_device_object(path, device, error)) {
            return unique_device(device);
        }
        print_message(".");
        platform::sleep_ms(open_retry_pause_ms);
    }
    return unique_device();
}

bool probe_device(int n) {
    char path[64];
    device_path(n, false, path);
    if (settings.debug != 0) {
        print_message("symlink=%s\n", path);
    }
    platform::device_ref device = 0;
    std::uint32_t error = 0;
    if (!platform::open_device_object(path, device, error)) {
        return false;
    }
    platform::close_device_object(device);
    return true;
}

request_result flash_command(platform::device_ref device, std::uint32_t command,
                             std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    std::uint8_t buffer[flash_command_size] = {};
    put_word(buffer, 4, command);
    put_word(buffer, 12, minor);
    put_word(buffer, 16, major);
    put_word(buffer, 20, build);
    const call_result call = control(device, IOCTL_FLASH_COMMAND, buffer, sizeof buffer);
    // One trace line for every command, FLASH_END included: it names the request, not the command.
    trace("start flash prog() -> %d, %d\n", call);
    return result_of(call, buffer);
}

request_result download(platform::device_ref device, std::uint32_t address, std::uint32_t length,
                        const std::uint8_t* data) {
    if (length > max_transfer_length) {
        return {-1, 0};
    }
    std::uint8_t buffer[transfer_size] = {};
    put_word(buffer, 8, address);
    put_word(buffer, 12, length);
    if (length != 0) {
        std::memcpy(buffer + 16, data, length);
    }
    const call_result call = control(device, IOCTL_DOWNLOAD, buffer, sizeof buffer);
    trace("download() -> %d, %d\n", call);
    return result_of(call, buffer);
}

request_result upload(platform::device_ref device, std::uint32_t address, std::uint32_t length,
                      std::uint8_t* destination) {
    if (length > max_transfer_length) {
        return {-1, 0};
    }
    std::uint8_t buffer[transfer_size] = {};
    put_word(buffer, 8, address);
    put_word(buffer, 12, length);
    const call_result call = control(device, IOCTL_UPLOAD, buffer, sizeof buffer);
    trace("upload() -> %d, %d\n", call);
    // Also after a failed call: the destination always holds defined bytes, zero where the driver
    // wrote none.
    std::memcpy(destination, buffer + 16, length);
    return result_of(call, buffer);
}

bool get_card_info(platform::device_ref device, card_info& info) {
    std::uint8_t buffer[card_info_size] = {};
    const call_result call = control(device, IOCTL_GET_CARD_INFO, buffer, sizeof buffer);
    trace("get_card_info() -> %d, %d\n", call);
    if (!call.succeeded) {
        return false;
    }
    info.firmware_major = get_word(buffer, 84);
    info.firmware_minor = get_word(buffer, 88);
    info.firmware_build = get_word(buffer, 92);
    info.hardware_major = get_word(buffer, 96);
    info.hardware_minor = get_word(buffer, 100);
    info.serial_number = static_cast<std::int32_t>(get_word(buffer, 116));
    return true;
}

bool get_card_info2(platform::device_ref device, ean_words& ean) {
    std::uint8_t buffer[card_info2_size] = {};
    const call_result call = control(device, IOCTL_GET_CARD_INFO2, buffer, sizeof buffer);
    trace("get_card_info2() -> %d, %d\n", call);
    if (!call.succeeded) {
        return false;
    }
    ean.lo = get_word(buffer, 0);
    ean.hi = get_word(buffer, 4);
    return true;
}

bool read_card_parameter(platform::device_ref device, ean_words& ean) {
    std::uint8_t buffer[card_parameter_size] = {};
    put_word(buffer, 0, 1);
    put_word(buffer, 4, 0x81);
    put_word(buffer, 12, 8);
    // Not traced, unlike the other requests: the debug transcript has never had a line for it.
    const call_result call = control(device, IOCTL_READ_CARD_PARAMETER, buffer, sizeof buffer);
    if (!call.succeeded || get_word(buffer, 8) != 0) {
        return false;
    }
    ean.lo = get_word(buffer, 16);
    ean.hi = get_word(buffer, 20);
    return true;
}

void end_device_work(unique_device& handle) {
    if (handle.valid()) {
        flash_command(handle.get(), FLASH_END, 0, 0, 0);
        handle.reset();
    }
}

} // namespace flash
