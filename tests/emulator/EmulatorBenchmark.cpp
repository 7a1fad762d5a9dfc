// Windows side, under Wine: what the emulated gateway costs. Prints figures, asserts nothing:
// the request round trip through the driver, programming and comparing the default image as
// the flash programmer does, and the updater's once-a-second look at the CAN library with what
// it leaves behind.
// Run it with: cmake --build --preset win64 --target emulator_benchmark_run
#include "DeviceObject.h"
#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "LoadedCanLibrary.h"
#include "ProcessResources.h"

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void request_round_trip() {
    DeviceObject info(0, false);
    const int count = 2000;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        info.CardInfo();
    }
    const double total = seconds_since(start);
    std::printf("get_card_info round trip:  %8.1f us per request (%d requests)\n",
                total * 1e6 / count, count);
}

void program_default_image() {
    const vg730::ImageSpec spec = vg730::DefaultImageSpec();
    const std::vector<std::uint8_t> image = vg730::BuildImage(spec);
    DeviceObject exclusive(0, true);
    auto start = Clock::now();
    exclusive.Command(VG730_FLASH_START);
    exclusive.Command(VG730_FLASH_ERASE);
    exclusive.Command(VG730_FLASH_WRITE_MODE);
    std::uint32_t requests = 0;
    for (std::uint32_t offset = 0; offset < image.size(); ++requests) {
        const std::uint32_t a = spec.load_addr + offset;
        std::uint32_t len =
            std::min<std::uint32_t>(16, static_cast<std::uint32_t>(image.size()) - offset);
        if (a / 256 != (a + len - 1) / 256) {
            len = 256 - a % 256;
        }
        exclusive.Download(a, image.data() + offset, len);
        offset += len;
    }
    const double download = seconds_since(start);
    start = Clock::now();
    exclusive.Command(VG730_FLASH_READ_MODE);
    std::uint32_t uploads = 0;
    for (std::uint32_t offset = 0; offset < image.size(); offset += 16, ++uploads) {
        exclusive.Upload(
            spec.load_addr + offset,
            std::min<std::uint32_t>(16, static_cast<std::uint32_t>(image.size()) - offset));
    }
    const double compare = seconds_since(start);
    exclusive.Command(VG730_FLASH_END);
    std::printf("download of %zu bytes:    %8.2f s, %u requests, %8.0f bytes/s\n", image.size(),
                download, requests, image.size() / download);
    std::printf("compare of %zu bytes:     %8.2f s, %u requests, %8.0f bytes/s\n", image.size(),
                compare, uploads, image.size() / compare);
}

// The updater's once-a-second look: load, list, items 13, 11 and 9 of every channel, release.
void library_refresh(vg730emu::EmulatorControl& control) {
    for (std::uint32_t gateways : {1u, 8u}) {
        control.Reset();
        for (std::uint32_t number = 0; number < gateways; ++number) {
            control.AddDevice(number);
        }
        auto refresh = [] {
            LoadedCanLibrary can(L"quorvelvncomm32.dll");
            can.initialize();
            std::int32_t channels = 0;
            can.count(&channels);
            std::string buffer(262145, '\0');
            for (std::int32_t c = 0; c < channels; ++c) {
                can.channelData(c, 13, buffer.data(), 262144);
                can.channelData(c, 11, buffer.data(), 262144);
                can.channelData(c, 9, buffer.data(), 8);
            }
            can.unload();
            can.unload();
        };
        for (int i = 0; i < 10; ++i) {
            refresh(); // what the first loads make once is no growth
        }
        const int count = 300;
        const ProcessResources before = ProcessResources::Now();
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            refresh();
        }
        const double ms = seconds_since(start) * 1e3 / count;
        const ProcessResources grown = ProcessResources::Now() - before;
        std::printf(
            "library refresh, %u gateway%s: %6.2f ms; over %d: handles %+lld, committed "
            "%+lld KiB, thread-local slots %+lld\n",
            gateways, gateways == 1 ? "" : "s", ms, count, static_cast<long long>(grown.handles),
            static_cast<long long>(grown.committedKiB), static_cast<long long>(grown.freeTlsSlot));
    }
    control.Reset();
    control.AddDevice(0);

    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = can.openChannel(0, 0xA8);
    std::uint8_t own = 1;
    can.ioctl(handle, 20, &own, 1);
    can.setBusParams(handle, 250000, 4, 3, 1, 1, 0);
    can.busOn(handle);
    const int frames = 1000;
    const auto loop = Clock::now();
    for (int i = 0; i < frames; ++i) {
        std::uint8_t data[8] = {};
        can.write(handle, 0x100, data, 8, 0x02);
        std::int32_t id;
        std::uint32_t dlc, flags, time;
        can.readWait(handle, &id, data, &dlc, &flags, &time, 1000);
    }
    std::printf("canWrite + canReadWait on a gateway channel: %8.1f us per frame\n",
                seconds_since(loop) * 1e6 / frames);
    can.unload();
}

} // namespace

int main() {
    try {
        vg730emu::Install(vg730emu::InstallOptions{});
        vg730emu::ResetEmulator();
        vg730emu::EmulatorControl control;
        control.AddDevice(0);
        control.AddDevice(1);
        Vg730Fault restart{};
        restart.type = VG730_FAULT_RESTART_TIME;
        restart.value = 0;
        control.SetFault(0, restart);

        request_round_trip();
        program_default_image();
        const Vg730Report report = control.Report(0);
        std::printf("after programming: image_ok=%u firmware=%s\n", report.image_ok,
                    vg730emu::FormatFirmware(report.identity.firmware).c_str());
        library_refresh(control);
        vg730emu::ResetEmulator();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "emulator_benchmark: %s\n", error.what());
        return 1;
    }
}
