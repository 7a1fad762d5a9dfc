// Portable: the control requests over the set of emulated gateways, as the driver passes them on.
#include "EmulatorModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <tuple>
#include <string>

namespace {

class EmulatorTest : public EmulatorModel {
protected:
    std::int32_t Remove(std::uint32_t number) {
        Vg730DeviceRequest request{};
        request.number = number;
        return Control(VG730_CTL_REMOVE, request);
    }
    std::int32_t AddVirtual(const char* name) {
        Vg730VirtualRequest request{};
        std::strncpy(request.name, name, sizeof(request.name) - 1);
        return Control(VG730_CTL_ADD_VIRTUAL, request);
    }
    Vg730ChannelList List() {
        Vg730ChannelList list{};
        EXPECT_EQ(Control(VG730_CTL_LIST, list), VG730_OK);
        return list;
    }
    std::vector<std::uint32_t> Gateways() {
        const Vg730ChannelList list = List();
        return std::vector<std::uint32_t>(list.gateways, list.gateways + list.gateway_count);
    }
};

TEST_F(EmulatorTest, NumbersFromZeroTo127) {
    EXPECT_EQ(Add(0), VG730_OK);
    EXPECT_EQ(Add(127), VG730_OK);
    EXPECT_EQ(Add(64), VG730_OK);
    EXPECT_EQ(Add(128), VG730_FAIL_BAD_NUMBER);
    EXPECT_EQ(Add(0xFFFFFFFFu), VG730_FAIL_BAD_NUMBER);
    EXPECT_EQ(Add(64), VG730_FAIL_EXISTS);
    EXPECT_EQ(Gateways(), (std::vector<std::uint32_t>{0, 64, 127}));
    ASSERT_NE(vg730_emulator_find(emulator.get(), 127), nullptr);
    EXPECT_EQ(vg730_emulator_find(emulator.get(), 127)->number, 127u);
    EXPECT_EQ(vg730_emulator_find(emulator.get(), 5), nullptr);
}

TEST_F(EmulatorTest, AsManyGatewaysAsSlotsThenRefused) {
    for (std::uint32_t i = 0; i < VG730_MAX_DEVICES; ++i) {
        EXPECT_EQ(Add(i * 7), VG730_OK) << i;
    }
    EXPECT_EQ(Add(126), VG730_FAIL_TOO_MANY);
    EXPECT_EQ(Remove(7), VG730_OK);
    EXPECT_EQ(Add(126), VG730_OK);
    EXPECT_EQ(Remove(7), VG730_FAIL_NO_DEVICE);
}

TEST_F(EmulatorTest, ListShowsOnlyPresentGatewaysThenVirtualChannels) {
    ASSERT_EQ(Add(3), VG730_OK);
    ASSERT_EQ(Add(1), VG730_OK);
    ASSERT_EQ(AddVirtual("Quorvel Virtual channel 1"), VG730_OK);
    ASSERT_EQ(AddVirtual("Second Virtual"), VG730_OK);
    EXPECT_EQ(AddVirtual(""), VG730_FAIL_BAD_NAME);

    // Device 3 restarts after programming: gone from the list until it is back.
    Vg730Device* device = vg730_emulator_find(emulator.get(), 3);
    std::uint8_t command[24] = {};
    command[4] = VG730_FLASH_START;
    std::uint32_t returned;
    ASSERT_EQ(
        vg730_device_ioctl(device, nullptr, now, VG730_IOCTL_FLASH_COMMAND, command, 24, &returned),
        VG730_OK);
    command[4] = VG730_FLASH_END;
    ASSERT_EQ(
        vg730_device_ioctl(device, nullptr, now, VG730_IOCTL_FLASH_COMMAND, command, 24, &returned),
        VG730_OK);
    EXPECT_EQ(Gateways(), (std::vector<std::uint32_t>{1}));
    now += VG730_DEFAULT_RESTART_MS;
    EXPECT_EQ(Gateways(), (std::vector<std::uint32_t>{1, 3}));

    const Vg730ChannelList list = List();
    ASSERT_EQ(list.virtual_count, 2u);
    EXPECT_STREQ(list.virtual_names[0], "Quorvel Virtual channel 1");
    EXPECT_STREQ(list.virtual_names[1], "Second Virtual");
}

TEST_F(EmulatorTest, FaultsReachTheirGatewayOnly) {
    ASSERT_EQ(Add(2), VG730_OK);
    ASSERT_EQ(Add(4), VG730_OK);
    Vg730FaultRequest fault{};
    fault.number = 4;
    fault.fault.type = VG730_FAULT_REFUSE_START;
    fault.fault.status = 7;
    EXPECT_EQ(Control(VG730_CTL_FAULT, fault), VG730_OK);
    fault.number = 9;
    EXPECT_EQ(Control(VG730_CTL_FAULT, fault), VG730_FAIL_NO_DEVICE);
    fault.number = 4;
    fault.fault.type = 0;
    EXPECT_EQ(Control(VG730_CTL_FAULT, fault), VG730_FAIL_BAD_FAULT);

    Vg730ReportRequest report{};
    report.number = 4;
    ASSERT_EQ(Control(VG730_CTL_REPORT, report), VG730_OK);
    EXPECT_EQ(report.report.refuse_start_status, 7);
    report.number = 2;
    ASSERT_EQ(Control(VG730_CTL_REPORT, report), VG730_OK);
    EXPECT_EQ(report.report.refuse_start_status, 0);

    Vg730DeviceRequest clear{};
    clear.number = 4;
    EXPECT_EQ(Control(VG730_CTL_CLEAR, clear), VG730_OK);
    report.number = 4;
    ASSERT_EQ(Control(VG730_CTL_REPORT, report), VG730_OK);
    EXPECT_EQ(report.report.refuse_start_status, 0);
    clear.number = 5;
    EXPECT_EQ(Control(VG730_CTL_CLEAR, clear), VG730_FAIL_NO_DEVICE);
}

TEST_F(EmulatorTest, UnplugNowRemovesFromTheListButKeepsTheReport) {
    ASSERT_EQ(Add(6), VG730_OK);
    Vg730FaultRequest fault{};
    fault.number = 6;
    fault.fault.type = VG730_FAULT_UNPLUG;
    fault.fault.nth = 0;
    EXPECT_EQ(Control(VG730_CTL_FAULT, fault), VG730_OK);
    EXPECT_TRUE(Gateways().empty());
    Vg730ReportRequest report{};
    report.number = 6;
    ASSERT_EQ(Control(VG730_CTL_REPORT, report), VG730_OK);
    EXPECT_EQ(report.report.presence, VG730_UNPLUGGED);
}

TEST_F(EmulatorTest, PlugBringsBackOnlyAnUnpluggedGateway) {
    ASSERT_EQ(Add(6), VG730_OK);
    Vg730DeviceRequest plug{};
    plug.number = 6;
    EXPECT_EQ(Control(VG730_CTL_PLUG, plug), VG730_FAIL_PLUGGED_IN);
    Vg730FaultRequest unplug{};
    unplug.number = 6;
    unplug.fault.type = VG730_FAULT_UNPLUG;
    ASSERT_EQ(Control(VG730_CTL_FAULT, unplug), VG730_OK);
    EXPECT_TRUE(Gateways().empty());
    EXPECT_EQ(Control(VG730_CTL_PLUG, plug), VG730_OK);
    EXPECT_EQ(Gateways(), std::vector<std::uint32_t>{6});
    plug.number = 9;
    EXPECT_EQ(Control(VG730_CTL_PLUG, plug), VG730_FAIL_NO_DEVICE);
}

TEST_F(EmulatorTest, HandlesOfARemovedGatewayDoNotFitItsSuccessor) {
    ASSERT_EQ(Add(8), VG730_OK);
    Vg730Handle old;
    ASSERT_EQ(
        vg730_device_open(vg730_emulator_find(emulator.get(), 8), now, VG730_OBJECT_INFO, &old),
        VG730_OK);
    ASSERT_EQ(Remove(8), VG730_OK);
    ASSERT_EQ(Add(8), VG730_OK);
    Vg730Device* successor = vg730_emulator_find(emulator.get(), 8);
    vg730_device_close(successor, &old); // must not count against the new gateway
    std::uint32_t returned;
    Vg730Handle info, exclusive;
    ASSERT_EQ(vg730_device_open(successor, now, VG730_OBJECT_INFO, &info), VG730_OK);
    std::uint8_t hold[4] = {1, 0, 0, 0};
    ASSERT_EQ(vg730_device_ioctl(successor, &info, now, VG730_IOCTL_HOLD, hold, 4, &returned),
              VG730_OK);
    std::uint8_t buffer[376];
    EXPECT_EQ(
        vg730_device_ioctl(successor, &old, now, VG730_IOCTL_GET_CARD_INFO, buffer, 376, &returned),
        VG730_FAIL_STALE_HANDLE);
    EXPECT_EQ(vg730_device_open(successor, now, VG730_OBJECT_EXCLUSIVE, &exclusive),
              VG730_FAIL_SHARING);
}

TEST_F(EmulatorTest, EntryFaultsSetReplaceAndRemove) {
    auto set = [&](const char* name, std::int32_t status, bool on) {
        Vg730EntryFaultRequest request{};
        std::strncpy(request.fault.entry, name, sizeof(request.fault.entry) - 1);
        request.fault.status = status;
        request.set = on;
        return Control(VG730_CTL_ENTRY_FAULT, request);
    };
    EXPECT_EQ(set("canOpenChannel", -3, true), VG730_OK);
    EXPECT_EQ(set("canWrite", -10, true), VG730_OK);
    EXPECT_EQ(set("canOpenChannel", -5, true), VG730_OK);
    EXPECT_EQ(set("", -5, true), VG730_FAIL_BAD_NAME);
    Vg730EntryFaultList faults{};
    ASSERT_EQ(Control(VG730_CTL_ENTRY_FAULTS, faults), VG730_OK);
    ASSERT_EQ(faults.count, 2u);
    EXPECT_STREQ(faults.faults[0].entry, "canOpenChannel");
    EXPECT_EQ(faults.faults[0].status, -5);
    EXPECT_EQ(set("canOpenChannel", 0, false), VG730_OK);
    ASSERT_EQ(Control(VG730_CTL_ENTRY_FAULTS, faults), VG730_OK);
    ASSERT_EQ(faults.count, 1u);
    EXPECT_STREQ(faults.faults[0].entry, "canWrite");
}

class NotifyTargetTest : public EmulatorTest {
protected:
    std::int32_t Set(std::uint32_t process, std::int32_t handle, std::uint64_t window,
                     std::uint32_t flags, std::uint32_t number = 0) {
        Vg730NotifyRequest request{};
        request.target = {process, handle, window, flags, number};
        return Control(VG730_CTL_NOTIFY_SET, request);
    }
    void Drop(std::uint32_t process, std::int32_t handle, bool everyHandle) {
        Vg730NotifyDropRequest request{};
        request.process = process;
        request.handle = handle;
        request.every_handle = everyHandle;
        EXPECT_EQ(Control(VG730_CTL_NOTIFY_DROP, request), VG730_OK);
    }
    // (process, handle, window, flags) of every target, in no particular order.
    std::multiset<std::tuple<std::uint32_t, std::int32_t, std::uint64_t, std::uint32_t>> Targets() {
        Vg730NotifyList list{};
        EXPECT_EQ(Control(VG730_CTL_NOTIFY_LIST, list), VG730_OK);
        std::multiset<std::tuple<std::uint32_t, std::int32_t, std::uint64_t, std::uint32_t>> set;
        for (std::uint32_t i = 0; i < list.count; ++i) {
            const Vg730NotifyTarget& t = list.targets[i];
            set.emplace(t.process, t.handle, t.window, t.flags);
        }
        return set;
    }
};

TEST_F(NotifyTargetTest, OneTargetPerHandleUntilDropped) {
    ASSERT_EQ(Set(100, 0, 0x1000, 0x08), VG730_OK);
    ASSERT_EQ(Set(100, 1, 0x2000, 0x01), VG730_OK);
    ASSERT_EQ(Set(200, 0, 0x3000, 0x0F), VG730_OK); // same handle number, other process
    ASSERT_EQ(Set(100, 0, 0x1000, 0x0C), VG730_OK); // replaces
    using T = std::tuple<std::uint32_t, std::int32_t, std::uint64_t, std::uint32_t>;
    EXPECT_EQ(
        Targets(),
        (std::multiset<T>{{100, 0, 0x1000, 0x0C}, {100, 1, 0x2000, 0x01}, {200, 0, 0x3000, 0x0F}}));
    ASSERT_EQ(Set(100, 1, 0x2000, 0), VG730_OK); // no flags: none
    EXPECT_EQ(Targets(), (std::multiset<T>{{100, 0, 0x1000, 0x0C}, {200, 0, 0x3000, 0x0F}}));
    ASSERT_EQ(Set(100, 1, 0x2000, 0x02), VG730_OK);
    Drop(100, 1, false);
    EXPECT_EQ(Targets(), (std::multiset<T>{{100, 0, 0x1000, 0x0C}, {200, 0, 0x3000, 0x0F}}));
    ASSERT_EQ(Set(100, 1, 0x2000, 0x02), VG730_OK);
    Drop(100, 0, true); // every handle of the process
    EXPECT_EQ(Targets(), (std::multiset<T>{{200, 0, 0x3000, 0x0F}}));
    EXPECT_EQ(Set(200, 2, 0x4000, 0x08, VG730_MAX_DEVICE_NUMBER + 1), VG730_FAIL_BAD_NUMBER);
    Vg730ControlResult reset{};
    ASSERT_EQ(Control(VG730_CTL_RESET, reset), VG730_OK);
    EXPECT_TRUE(Targets().empty());
}

TEST_F(NotifyTargetTest, FullTableRefusesMore) {
    for (std::int32_t handle = 0; handle < static_cast<std::int32_t>(VG730_MAX_NOTIFY_TARGETS);
         ++handle) {
        ASSERT_EQ(Set(7, handle, 0x1000, 0x08), VG730_OK) << handle;
    }
    EXPECT_EQ(Set(7, 1000, 0x1000, 0x08), VG730_FAIL_FULL);
    EXPECT_EQ(Set(7, 3, 0x5000, 0x01), VG730_OK); // a handle that has one may change it
    Drop(7, 4, false);
    EXPECT_EQ(Set(7, 1000, 0x1000, 0x08), VG730_OK);
    EXPECT_EQ(Targets().size(), VG730_MAX_NOTIFY_TARGETS);
}

TEST_F(EmulatorTest, ResetForgetsEverything) {
    ASSERT_EQ(Add(1), VG730_OK);
    ASSERT_EQ(AddVirtual("Virtual A"), VG730_OK);
    Vg730EntryFaultRequest entry{};
    std::strcpy(entry.fault.entry, "canWrite");
    entry.fault.status = -1;
    entry.set = 1;
    ASSERT_EQ(Control(VG730_CTL_ENTRY_FAULT, entry), VG730_OK);
    Vg730ControlResult reset{};
    EXPECT_EQ(Control(VG730_CTL_RESET, reset), VG730_OK);
    const Vg730ChannelList list = List();
    EXPECT_EQ(list.gateway_count, 0u);
    EXPECT_EQ(list.virtual_count, 0u);
    Vg730EntryFaultList faults{};
    ASSERT_EQ(Control(VG730_CTL_ENTRY_FAULTS, faults), VG730_OK);
    EXPECT_EQ(faults.count, 0u);
    EXPECT_EQ(Add(1), VG730_OK);
}

TEST_F(EmulatorTest, WrongSizesAndCodesFailTheCall) {
    Vg730AddRequest add{};
    std::uint32_t returned = 7;
    EXPECT_EQ(vg730_emulator_control(emulator.get(), now, VG730_CTL_ADD, &add, sizeof(add) - 1,
                                     &returned),
              VG730_FAIL_BAD_SIZE);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(vg730_emulator_control(emulator.get(), now, VG730_CTL_RESET, nullptr, 0, &returned),
              VG730_FAIL_BAD_SIZE);
    EXPECT_EQ(vg730_emulator_control(emulator.get(), now, VG730_CONTROL_CODE(0x950), &add,
                                     sizeof(add), &returned),
              VG730_FAIL_UNKNOWN_REQUEST);
    EXPECT_TRUE(Gateways().empty());
}

} // namespace
