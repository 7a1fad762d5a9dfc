// Portable side: the kernel driver's device objects and its six control requests, named as the
// device protocol names them.
#pragma once

#include "platform.h"
#include "settings.h"

#include <cstdint>

namespace flash {

// Holds one open device object and closes it exactly once.
class unique_device {
public:
    unique_device() = default;
    explicit unique_device(platform::device_ref device) : device_(device), valid_(true) {}
    unique_device(const unique_device&) = delete;
    unique_device& operator=(const unique_device&) = delete;
    unique_device(unique_device&& other) noexcept { *this = static_cast<unique_device&&>(other); }
    unique_device& operator=(unique_device&& other) noexcept;
    ~unique_device() { reset(); }

    bool valid() const { return valid_; }
    platform::device_ref get() const { return device_; }
    void reset();

private:
    platform::device_ref device_ = 0;
    bool valid_ = false;
};

// Flash commands.
constexpr std::uint32_t FLASH_ERASE = 1;
constexpr std::uint32_t FLASH_WRITE_MODE = 2;
constexpr std::uint32_t FLASH_END = 3;
constexpr std::uint32_t FLASH_START = 4;
constexpr std::uint32_t FLASH_READ_MODE = 5;

// Control codes (device type, function, METHOD_BUFFERED, FILE_ANY_ACCESS) and buffer sizes.
constexpr std::uint32_t IOCTL_FLASH_COMMAND = 0x80022404;
constexpr std::uint32_t IOCTL_DOWNLOAD = 0x80022408;
constexpr std::uint32_t IOCTL_UPLOAD = 0x8002240C;
constexpr std::uint32_t IOCTL_GET_CARD_INFO = 0x8000209C;
constexpr std::uint32_t IOCTL_GET_CARD_INFO2 = 0x80002810;
constexpr std::uint32_t IOCTL_READ_CARD_PARAMETER = 0x800028CC;
constexpr std::uint32_t flash_command_size = 24;
constexpr std::uint32_t transfer_size = 32;
constexpr std::uint32_t card_info_size = 376;
constexpr std::uint32_t card_info2_size = 128;
constexpr std::uint32_t card_parameter_size = 144;
constexpr std::uint32_t max_transfer_length = 16;

// Every request gives r (0 when the control call succeeded, -1 when it failed) and the status
// word the driver left in the buffer.
struct request_result {
    int r = 0;
    std::uint32_t status = 0;
    bool ok() const { return r == 0 && status == 0; }
};

// "\\.\Quorvelxlink<n>.info" or ".exclusive", opened with up to five attempts (a dot and 500 ms
// after each failed one). On failure error holds the platform's code of the last attempt.
unique_device open_device(int n, bool exclusive, std::uint32_t& error);
// One attempt to open the ".info" object, closed again at once.
bool probe_device(int n);

request_result flash_command(platform::device_ref device, std::uint32_t command,
                             std::uint32_t major, std::uint32_t minor, std::uint32_t build);
request_result download(platform::device_ref device, std::uint32_t address, std::uint32_t length,
                        const std::uint8_t* data);
request_result upload(platform::device_ref device, std::uint32_t address, std::uint32_t length,
                      std::uint8_t* destination);

// What the identity requests answer, as far as the programmer reads it.
struct card_info {
    std::uint32_t firmware_major = 0;
    std::uint32_t firmware_minor = 0;
    std::uint32_t firmware_build = 0;
    std::uint32_t hardware_major = 0;
    std::uint32_t hardware_minor = 0;
    std::int32_t serial_number = 0;
};
bool get_card_info(platform::device_ref device, card_info& info);
bool get_card_info2(platform::device_ref device, ean_words& ean);
// The EAN kept in the device parameters; false when the read fails or reports a non-zero status.
bool read_card_parameter(platform::device_ref device, ean_words& ean);

// Ends the work on a device: FLASH_END on its exclusive handle when that is held, then closes and
// empties it.
void end_device_work(unique_device& handle);

} // namespace flash
