// Portable test helper: sends the gateway's driver requests to a device model the way the
// driver passes them on, with the buffers laid out as the flash programmer lays them out.
#pragma once

#include "Vg730Device.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

struct Answer {
    Vg730Result result;
    std::int32_t status;
};

struct UploadAnswer {
    Vg730Result result;
    std::int32_t status;
    std::vector<std::uint8_t> data;
};

inline std::uint32_t Word(const std::uint8_t* buffer, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, buffer + offset, 4);
    return value;
}
inline void PutWord(std::uint8_t* buffer, std::size_t offset, std::uint32_t value) {
    std::memcpy(buffer + offset, &value, 4);
}

class ModelClient {
public:
    explicit ModelClient(std::uint32_t number = 0) : FDevice(std::make_unique<Vg730Device>()) {
        Vg730Identity identity;
        vg730_identity_default(&identity, number);
        vg730_device_init(FDevice.get(), number, &identity);
    }
    explicit ModelClient(const Vg730Identity& identity, std::uint32_t number = 0)
        : FDevice(std::make_unique<Vg730Device>()) {
        vg730_device_init(FDevice.get(), number, &identity);
    }

    Vg730Device* Device() { return FDevice.get(); }
    // The clock the requests are sent at; tests move it.
    std::uint32_t now = 1000;
    // The handle the requests go through; null: direct access.
    Vg730Handle* handle = nullptr;

    Vg730Result Raw(std::uint32_t code, void* buffer, std::uint32_t size) {
        std::uint32_t returned = 0xDEADBEEF;
        const Vg730Result result =
            vg730_device_ioctl(FDevice.get(), handle, now, code, buffer, size, &returned);
        lastBytesReturned = returned;
        return result;
    }
    std::uint32_t lastBytesReturned = 0;

    Answer Command(std::uint32_t command, std::uint32_t major = 0, std::uint32_t minor = 0,
                   std::uint32_t build = 0) {
        std::array<std::uint8_t, VG730_FLASH_COMMAND_SIZE> b{};
        PutWord(b.data(), VG730_FC_COMMAND, command);
        PutWord(b.data(), VG730_FC_MINOR, minor);
        PutWord(b.data(), VG730_FC_MAJOR, major);
        PutWord(b.data(), VG730_FC_BUILD, build);
        const Vg730Result r = Raw(VG730_IOCTL_FLASH_COMMAND, b.data(), b.size());
        return {r, static_cast<std::int32_t>(Word(b.data(), VG730_FC_STATUS))};
    }

    Answer Download(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
        std::array<std::uint8_t, VG730_TRANSFER_SIZE> b{};
        PutWord(b.data(), VG730_TR_ADDRESS, address);
        PutWord(b.data(), VG730_TR_LENGTH, length);
        if (data != nullptr) {
            std::memcpy(b.data() + VG730_TR_DATA, data, length < 16 ? length : 16);
        }
        const Vg730Result r = Raw(VG730_IOCTL_DOWNLOAD, b.data(), b.size());
        return {r, static_cast<std::int32_t>(Word(b.data(), VG730_TR_STATUS))};
    }
    Answer Download(std::uint32_t address, const std::vector<std::uint8_t>& data) {
        return Download(address, data.data(), static_cast<std::uint32_t>(data.size()));
    }
    Answer EraseCheck(std::uint32_t address) { return Download(address, nullptr, 0); }

    UploadAnswer Upload(std::uint32_t address, std::uint32_t length) {
        std::array<std::uint8_t, VG730_TRANSFER_SIZE> b{};
        PutWord(b.data(), VG730_TR_ADDRESS, address);
        PutWord(b.data(), VG730_TR_LENGTH, length);
        const Vg730Result r = Raw(VG730_IOCTL_UPLOAD, b.data(), b.size());
        const std::uint32_t copied = length < 16 ? length : 16;
        return {r, static_cast<std::int32_t>(Word(b.data(), VG730_TR_STATUS)),
                std::vector<std::uint8_t>(b.begin() + VG730_TR_DATA,
                                          b.begin() + VG730_TR_DATA + copied)};
    }

    // The whole programming sequence up to read mode: start, erase, write mode, every chunk
    // (16 bytes, split at 256-byte pages), read mode. Returns the first failure.
    Answer Program(std::uint32_t load_addr, const std::vector<std::uint8_t>& image,
                   std::size_t length = SIZE_MAX) {
        if (length > image.size()) {
            length = image.size();
        }
        for (std::uint32_t command :
             {VG730_FLASH_START, VG730_FLASH_ERASE, VG730_FLASH_WRITE_MODE}) {
            if (const Answer a = Command(command); a.result != VG730_OK || a.status != 0) {
                return a;
            }
        }
        for (std::size_t offset = 0; offset < length;) {
            const std::uint32_t address = load_addr + static_cast<std::uint32_t>(offset);
            std::uint32_t chunk =
                static_cast<std::uint32_t>(std::min<std::size_t>(16, length - offset));
            if (address / 256 != (address + chunk - 1) / 256) {
                chunk = 256 - address % 256;
            }
            if (const Answer a = Download(address, image.data() + offset, chunk);
                a.result != VG730_OK || a.status != 0) {
                return a;
            }
            offset += chunk;
        }
        return Command(VG730_FLASH_READ_MODE);
    }

    std::vector<std::uint8_t> Request(std::uint32_t code, std::uint32_t size, Vg730Result* result,
                                      const std::vector<std::uint8_t>& input = {}) {
        std::vector<std::uint8_t> b(size, 0);
        std::copy(input.begin(), input.end(), b.begin());
        *result = Raw(code, b.data(), size);
        return b;
    }

    Vg730Report Report() {
        Vg730Report report;
        vg730_device_report(FDevice.get(), now, &report);
        return report;
    }

    Vg730Result AddFault(const Vg730Fault& fault) {
        return vg730_device_add_fault(FDevice.get(), &fault);
    }

private:
    std::unique_ptr<Vg730Device> FDevice;
};

inline Vg730Fault RequestFault(std::uint32_t type, std::uint32_t kind, std::uint32_t nth,
                               std::uint32_t repeat = 1, std::int32_t status = 0) {
    Vg730Fault fault{};
    fault.type = type;
    fault.kind = kind;
    fault.nth = nth;
    fault.repeat = repeat;
    fault.status = status;
    return fault;
}
