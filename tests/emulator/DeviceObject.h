// Windows side test helper: one of a gateway's device objects opened the way the flash
// programmer opens it (CreateFileA, read and write, no sharing, existing object only), and its
// requests sent with DeviceIoControl, one buffer in and out.
#pragma once

#include "Vg730Requests.h"
#include "WinHandles.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct DeviceAnswer {
    bool ok;             // the control call succeeded
    DWORD error;         // GetLastError() when it did not
    std::int32_t status; // the request's status word afterwards
    std::vector<std::uint8_t> buffer;
};

inline std::string DevicePath(std::uint32_t number, bool exclusive) {
    return "\\\\.\\Quorvelxlink" + std::to_string(number) + (exclusive ? ".exclusive" : ".info");
}

inline std::uint32_t WordAt(const std::vector<std::uint8_t>& buffer, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, buffer.data() + offset, 4);
    return value;
}

class DeviceObject {
public:
    DeviceObject(DeviceObject&&) = default;
    DeviceObject& operator=(DeviceObject&&) = default;
    DeviceObject(std::uint32_t number, bool exclusive)
        : FHandle(CreateFileA(DevicePath(number, exclusive).c_str(), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_EXISTING, 0, nullptr)),
          FError(FHandle ? 0 : GetLastError()) {}

    bool IsOpen() const { return FHandle.valid(); }
    DWORD OpenError() const { return FError; }
    HANDLE Get() const { return FHandle.get(); }
    void Close() { FHandle.reset(); }

    DeviceAnswer Send(std::uint32_t code, std::vector<std::uint8_t> buffer,
                      std::size_t statusOffset = 0) {
        DWORD returned = 0;
        const BOOL ok =
            DeviceIoControl(FHandle.get(), code, buffer.data(), static_cast<DWORD>(buffer.size()),
                            buffer.data(), static_cast<DWORD>(buffer.size()), &returned, nullptr);
        const DWORD error = ok ? 0 : GetLastError();
        const auto status = static_cast<std::int32_t>(WordAt(buffer, statusOffset));
        return {ok != FALSE, error, status, std::move(buffer)};
    }

    DeviceAnswer Command(std::uint32_t command, std::uint32_t major = 0, std::uint32_t minor = 0,
                         std::uint32_t build = 0) {
        std::vector<std::uint8_t> b(VG730_FLASH_COMMAND_SIZE, 0);
        put(b, VG730_FC_COMMAND, command);
        put(b, VG730_FC_MINOR, minor);
        put(b, VG730_FC_MAJOR, major);
        put(b, VG730_FC_BUILD, build);
        return Send(VG730_IOCTL_FLASH_COMMAND, std::move(b));
    }
    DeviceAnswer Download(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
        std::vector<std::uint8_t> b(VG730_TRANSFER_SIZE, 0);
        put(b, VG730_TR_ADDRESS, address);
        put(b, VG730_TR_LENGTH, length);
        if (data) {
            std::memcpy(b.data() + VG730_TR_DATA, data, length);
        }
        return Send(VG730_IOCTL_DOWNLOAD, std::move(b));
    }
    DeviceAnswer Upload(std::uint32_t address, std::uint32_t length) {
        std::vector<std::uint8_t> b(VG730_TRANSFER_SIZE, 0);
        put(b, VG730_TR_ADDRESS, address);
        put(b, VG730_TR_LENGTH, length);
        return Send(VG730_IOCTL_UPLOAD, std::move(b));
    }
    DeviceAnswer CardInfo() {
        return Send(VG730_IOCTL_GET_CARD_INFO, std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE));
    }

    // The flash programmer's sequence: start, erase, erase check per bank, write mode, 16-byte
    // chunks split at pages, read mode, compare. Returns false at the first failing request.
    bool Program(std::uint32_t load_addr, const std::vector<std::uint8_t>& image) {
        if (!accepted(Command(VG730_FLASH_START)) || !accepted(Command(VG730_FLASH_ERASE))) {
            return false;
        }
        for (std::uint32_t k = 0; k * 0x10000 < image.size(); ++k) {
            if (!accepted(
                    Download(((load_addr + k * 0x10000) & 0x00FF0000) + 0xFFFE, nullptr, 0))) {
                return false;
            }
        }
        if (!accepted(Command(VG730_FLASH_WRITE_MODE))) {
            return false;
        }
        for (std::uint32_t offset = 0; offset < image.size();) {
            const std::uint32_t a = load_addr + offset;
            std::uint32_t len =
                std::min<std::uint32_t>(16, static_cast<std::uint32_t>(image.size()) - offset);
            if (a / 256 != (a + len - 1) / 256) {
                len = 256 - a % 256;
            }
            if (!accepted(Download(a, image.data() + offset, len))) {
                return false;
            }
            offset += len;
        }
        if (!accepted(Command(VG730_FLASH_READ_MODE))) {
            return false;
        }
        for (std::uint32_t offset = 0; offset < image.size(); offset += 16) {
            const std::uint32_t len =
                std::min<std::uint32_t>(16, static_cast<std::uint32_t>(image.size()) - offset);
            const DeviceAnswer up = Upload(load_addr + offset, len);
            if (!accepted(up) ||
                std::memcmp(up.buffer.data() + VG730_TR_DATA, image.data() + offset, len) != 0) {
                return false;
            }
        }
        return true;
    }

private:
    static void put(std::vector<std::uint8_t>& b, std::size_t offset, std::uint32_t value) {
        std::memcpy(b.data() + offset, &value, 4);
    }
    static bool accepted(const DeviceAnswer& a) { return a.ok && a.status == 0; }

    UniqueFileHandle FHandle;
    DWORD FError;
};
