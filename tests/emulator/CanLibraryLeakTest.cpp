// Windows side, under Wine: the updater loads, initialises, unloads and frees the CAN library
// once a second for as long as it runs, so each such cycle of the emulated library must leave
// nothing behind in the caller's process: no handle, no committed memory, no thread-local slot.
// Prints the growth it measured over the cycles.
#include "CanLibraryFixture.h"
#include "ProcessResources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// What one cycle does between load and free.
struct LeakCase {
    const char* name;
    std::function<void(LoadedCanLibrary&, NotifyWindow&)> use;
};

// The updater's refresh: the channel count, then items 13, 11 and 9 of every channel.
void Refresh(LoadedCanLibrary& can, NotifyWindow&) {
    can.initialize();
    std::int32_t count = 0;
    can.count(&count);
    std::string buffer(262145, '\0');
    for (std::int32_t channel = 0; channel < count; ++channel) {
        can.channelData(channel, 13, buffer.data(), 262144);
        can.channelData(channel, 11, buffer.data(), 262144);
        can.channelData(channel, 9, buffer.data(), 8);
    }
    can.unload();
    can.unload();
}

// A channel used the way the updater's channel does: open, on the bus with notifications, a
// frame out and back (the read waits), status, flush, close.
void Session(LoadedCanLibrary& can, NotifyWindow& window) {
    can.initialize();
    const std::int32_t handle = can.openChannel(0, 0xA8);
    std::uint8_t own = 1;
    can.ioctl(handle, 20, &own, 1);
    can.setBusParams(handle, 500000, 4, 3, 1, 1, 0);
    can.setOutputControl(handle, 4);
    can.setNotify(handle, window.Get(), 0x0F);
    can.busOn(handle);
    std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    can.write(handle, 0x123, data, 8, 0x02);
    std::int32_t id;
    std::uint32_t dlc, flags, time, bits;
    can.readWait(handle, &id, data, &dlc, &flags, &time, 1000);
    can.readWait(handle, &id, data, &dlc, &flags, &time, 1); // times out: a real wait
    can.readStatus(handle, &bits);
    can.ioctl(handle, 11, nullptr, 0);
    can.busOff(handle);
    can.close(handle);
    can.unload();
    can.unload();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
    window.Clear(); // what the window keeps of the events is the test's, not the library's
}

void PrintTo(const LeakCase& c, std::ostream* out) {
    *out << c.name;
}

class CanLibraryLeakTest : public CanLibraryTest, public testing::WithParamInterface<LeakCase> {};

// A leak grows the process in every batch of cycles. What the system does on its own (a thread
// of Wine's that ends late on a busy machine, a heap that grows a step) comes at a time of its
// own choosing and shows in some batches at most, so the batch that grew least is the one judged.
TEST_P(CanLibraryLeakTest, ThousandCyclesLeaveNothingBehind) {
    NotifyWindow window;
    auto cycle = [&] {
        LoadedCanLibrary can(L"quorvelvncomm32.dll");
        GetParam().use(can, window);
    };
    // What is made once at the first load (the loader's and Wine's own) is no growth.
    for (int i = 0; i < 20; ++i) {
        cycle();
    }
    constexpr int batches = 4;
    constexpr int cycles = 250; // per batch
    ProcessResources least;
    const auto start = std::chrono::steady_clock::now();
    for (int batch = 0; batch < batches; ++batch) {
        const ProcessResources before = ProcessResources::Now();
        ASSERT_GE(before.handles, 0) << "the handle count cannot be read here";
        for (int i = 0; i < cycles; ++i) {
            cycle();
        }
        const ProcessResources grown = ProcessResources::Now() - before;
        std::printf("%s, batch %d of %d cycles: handles %+lld, committed %+lld KiB, "
                    "thread-local slots %+lld\n",
                    GetParam().name, batch + 1, cycles, static_cast<long long>(grown.handles),
                    static_cast<long long>(grown.committedKiB),
                    static_cast<long long>(grown.freeTlsSlot));
        if (batch == 0) {
            least = grown;
        } else {
            least.handles = std::min(least.handles, grown.handles);
            least.committedKiB = std::min(least.committedKiB, grown.committedKiB);
            least.freeTlsSlot = std::min(least.freeTlsSlot, grown.freeTlsSlot);
        }
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.2f ms a cycle\n", GetParam().name, ms / (batches * cycles));
    // A handle, a slot or a kilobyte a cycle would show as 250 in every batch.
    EXPECT_LE(least.handles, 1);
    EXPECT_LE(least.committedKiB, 64);
    EXPECT_LE(least.freeTlsSlot, 0);
}

INSTANTIATE_TEST_SUITE_P(Cycles, CanLibraryLeakTest,
                         testing::Values(LeakCase{"Refresh", Refresh},
                                         LeakCase{"Session", Session}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
