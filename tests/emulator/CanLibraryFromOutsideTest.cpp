// Windows side, under Wine: a gateway's CAN state changed from the control side while a program
// holds the library: frames waiting in the gateway's transmit buffer, status bits, and the
// notifications the control side posts to the windows the library was given.
#include "CanLibraryFixture.h"
#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t Waiting(LoadedCanLibrary& can, std::int32_t handle) {
    std::uint32_t waiting = 0xDEAD;
    EXPECT_EQ(can.ioctl(handle, 9, &waiting, 4), 0);
    return waiting;
}

std::uint32_t Status(LoadedCanLibrary& can, std::int32_t handle) {
    std::uint32_t bits = 0;
    EXPECT_EQ(can.readStatus(handle, &bits), 0);
    return bits;
}

TEST_F(CanLibraryTest, GatewayTransmitLevelCountsUntilTheFlush) {
    Fault(0, {"tx-level", "3"});
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    const std::int32_t other = OpenOnBus(can, 1); // gateway 5
    const std::int32_t virtualHandle = OpenOnBus(can, 2, SharedOpenFlags);
    ASSERT_GE(handle, 0);
    ASSERT_GE(other, 0);
    ASSERT_GE(virtualHandle, 0);
    EXPECT_EQ(Waiting(can, handle), 3u);
    EXPECT_EQ(Status(can, handle) & 0x10, 0x10u); // frames waiting to be sent
    EXPECT_EQ(Waiting(can, other), 0u);
    EXPECT_EQ(Status(can, other) & 0x10, 0u);
    EXPECT_EQ(Waiting(can, virtualHandle), 0u);

    // The library's own queue adds to it.
    std::uint8_t hold = 1, data[1] = {5};
    ASSERT_EQ(can.ioctl(handle, 0x7E01, &hold, 1), 0);
    ASSERT_EQ(can.write(handle, 0x21, data, 1, 0x02), 0);
    ASSERT_EQ(can.write(handle, 0x22, data, 1, 0x02), 0);
    EXPECT_EQ(Waiting(can, handle), 5u);

    // The flush empties both.
    ASSERT_EQ(can.ioctl(handle, 11, nullptr, 0), 0);
    EXPECT_EQ(Waiting(can, handle), 0u);
    EXPECT_EQ(Status(can, handle) & 0x10, 0u);
    EXPECT_EQ(control.Report(0).tx_level, 0u);
    EXPECT_EQ(control.Calls().Of("canIoCtl").back().args,
              (std::vector<std::int64_t>{handle, 9, 4}));
}

TEST_F(CanLibraryTest, ControlSideNotifiesTheWindowsOfTheGatewayThatAskedForTheEvent) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    NotifyWindow window;
    ASSERT_NE(window.Get(), nullptr);
    const std::int32_t first = OpenOnBus(can, 0);        // gateway 0: status only
    const std::int32_t second = OpenOnBus(can, 1, 0xA0); // gateway 5: everything
    const std::int32_t third = OpenOnBus(can, 1, 0xA0);  // gateway 5: none asked for
    ASSERT_GE(third, 0);
    ASSERT_EQ(can.setNotify(first, window.Get(), 0x08), 0);
    ASSERT_EQ(can.setNotify(second, window.Get(), 0x0F), 0);
    window.Clear();

    // A status change of the gateway, as the updater meets it: the event, then the bits.
    Fault(0, {"bus-status", "0x81"});
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("status")), 1u);
    EXPECT_TRUE(window.WaitFor(32003, first));
    EXPECT_EQ(Status(can, first) & 0x81, 0x81u);
    EXPECT_EQ(window.HighWords(first),
              std::vector<std::uint16_t>{static_cast<std::uint16_t>(0x8000 | first)});

    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("rx")), 0u); // not asked for
    EXPECT_EQ(control.Notify(5, vg730emu::ParseNotifyEvent("error")), 1u);
    EXPECT_TRUE(window.WaitFor(32002, second));
    EXPECT_FALSE(window.WaitFor(32002, third, std::chrono::milliseconds(100)));
    EXPECT_THROW(control.Notify(9, vg730emu::ParseNotifyEvent("status")), vg730emu::EmulatorError);

    // Closed handles and an unloaded library are notified no more.
    ASSERT_EQ(can.close(first), 0);
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("status")), 0u);
    EXPECT_EQ(control.NotifyTargets().size(), 1u);
    can.unload();
    EXPECT_EQ(control.Notify(5, vg730emu::ParseNotifyEvent("error")), 0u);
    EXPECT_TRUE(control.NotifyTargets().empty());
}

TEST_F(CanLibraryTest, ToolInAnotherProcessReachesTheWindow) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    NotifyWindow window;
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_EQ(can.setNotify(handle, window.Get(), 0x08), 0);
    window.Clear();
    ChildProcess tool(L"\"" + BinFolder() + L"vg730emu.exe\" notify 0 status");
    EXPECT_TRUE(window.WaitFor(32003, handle, std::chrono::seconds(30)));
    EXPECT_EQ(tool.WaitForExit(std::chrono::seconds(30)), std::optional<DWORD>(0));
}

TEST_F(CanLibraryTest, ReleasedWithoutUnloadTheLibraryTakesItsWindowsBack) {
    NotifyWindow window;
    {
        LoadedCanLibrary can(L"quorvelvncomm32.dll");
        can.initialize();
        const std::int32_t handle = OpenOnBus(can, 0);
        ASSERT_EQ(can.setNotify(handle, window.Get(), 0x08), 0);
        ASSERT_EQ(control.NotifyTargets().size(), 1u);
        EXPECT_EQ(control.NotifyTargets()[0].process, GetCurrentProcessId());
        EXPECT_EQ(control.NotifyTargets()[0].window,
                  reinterpret_cast<std::uintptr_t>(window.Get()));
    }
    EXPECT_TRUE(control.NotifyTargets().empty());
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("status")), 0u);
}

} // namespace
