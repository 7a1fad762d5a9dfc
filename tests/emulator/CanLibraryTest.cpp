// Windows side, under Wine: the installed emulated CAN library as the updater meets it, loaded
// by file name from the system folder, with two emulated gateways and a virtual channel.
#include "CanBus.h"
#include "CanLibraryFixture.h"
#include "DeviceObject.h"
#include "ExportTableEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct FileCase {
    const char* name;
    const wchar_t* file;
    vg730emu::InstallOptions install;
};

class CanLibraryFileTest : public CanLibraryTest, public testing::WithParamInterface<FileCase> {};

TEST_P(CanLibraryFileTest, ListsTheGatewaysAndTheVirtualChannel) {
    vg730emu::Install(GetParam().install);
    LoadedCanLibrary can(GetParam().file);
    for (std::string_view entry : vg730emu::CanLibEntryNames) {
        EXPECT_NE(can.Entry(std::string(entry).c_str()), nullptr) << entry;
    }
    can.initialize();
    std::int32_t count = -1;
    ASSERT_EQ(can.count(&count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(can.Name(0), "Quorvel VG730 #0");
    EXPECT_EQ(can.Name(1), "Tolvak VG730-2 #5 Y");
    EXPECT_EQ(can.Name(2), "Quorvel Virtual channel 1");

    struct Expected {
        std::uint8_t ean[8];
        std::uint16_t firmware[4]; // build, 0, minor, major
    };
    const Expected expected[] = {
        {{0x37, 0x12, 0x00, 0x99, 0x00, 0x30, 0x07, 0x00}, {176, 0, 5, 2}},
        {{0x05, 0x20, 0x00, 0x99, 0x00, 0x30, 0x07, 0x00}, {300, 0, 10, 3}},
    };
    for (std::int32_t channel = 0; channel < 2; ++channel) {
        std::string buffer(262145, '\0');
        ASSERT_EQ(can.channelData(channel, 11, buffer.data(), 262144), 0);
        EXPECT_EQ(std::memcmp(buffer.data(), expected[channel].ean, 8), 0) << channel;
        std::uint8_t firmware[8] = {};
        ASSERT_EQ(can.channelData(channel, 9, firmware, 8), 0);
        EXPECT_EQ(std::memcmp(firmware, expected[channel].firmware, 8), 0) << channel;
    }
    EXPECT_NE(can.channelData(3, 13, std::string(16, '\0').data(), 16), 0);
    can.unload();
}

vg730emu::InstallOptions Legacy() {
    vg730emu::InstallOptions options;
    options.legacyDll = true;
    return options;
}

INSTANTIATE_TEST_SUITE_P(Files, CanLibraryFileTest,
                         testing::Values(FileCase{"Current", L"quorvelvncomm32.dll", {}},
                                         FileCase{"Legacy", L"tolvakquorvelvncomm32.dll", Legacy()},
                                         FileCase{"Generic", L"VNCOMM32.dll", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanLibraryTest, InstallPutsOnlyTheChosenPairInPlace) {
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(folder, MAX_PATH), 0u);
    auto exists = [&](const wchar_t* name) {
        return GetFileAttributesW((std::wstring(folder) + L"\\" + name).c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    };
    vg730emu::Install(Legacy());
    EXPECT_TRUE(exists(L"tolvakquorvelvncomm32.dll"));
    EXPECT_TRUE(exists(L"tolvakquorvelvnalapw2.dll"));
    EXPECT_FALSE(exists(L"quorvelvncomm32.dll"));
    EXPECT_FALSE(exists(L"quorvelvnalapw2.dll"));
    vg730emu::InstallOptions generic;
    generic.gatewayDll = false;
    vg730emu::Install(generic);
    EXPECT_TRUE(exists(L"VNCOMM32.dll"));
    EXPECT_FALSE(exists(L"tolvakquorvelvncomm32.dll"));
    EXPECT_FALSE(exists(L"quorvelvncomm32.dll"));
    vg730emu::ResetEmulator();
    EXPECT_TRUE(exists(L"quorvelvncomm32.dll"));
    EXPECT_TRUE(exists(L"quorvelvnalapw2.dll"));
    EXPECT_FALSE(exists(L"tolvakquorvelvnalapw2.dll"));
}

TEST_F(CanLibraryTest, GatewayWithoutChannelEanWritesNoByteOfItemEleven) {
    control.AddDevice(3, Identity({"add", "3", "--no-ean"}));
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    ASSERT_EQ(can.Name(1), "Quorvel VG730 #3"); // gateways are listed by number: 0, 3, 5
    std::string buffer(262145, 'X');
    EXPECT_NE(can.channelData(1, 11, buffer.data(), 262144), 0);
    EXPECT_EQ(buffer, std::string(262145, 'X'));
    // Its name and firmware still come, and the other gateways keep their EAN.
    std::uint8_t firmware[8] = {};
    ASSERT_EQ(can.channelData(1, 9, firmware, 8), 0);
    EXPECT_EQ(firmware[0], 176);
    ASSERT_EQ(can.channelData(0, 11, buffer.data(), 262144), 0);
    EXPECT_EQ(static_cast<std::uint8_t>(buffer[0]), 0x37);
}

class CanLibraryNameTest : public CanLibraryTest,
                           public testing::WithParamInterface<const char*> {};

TEST_P(CanLibraryNameTest, NameComesBackAsGiven) {
    control.AddDevice(3, Identity({"add", "3", "--name", GetParam()}));
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    EXPECT_EQ(can.Name(1), GetParam());
    std::ostringstream out, err;
    ASSERT_EQ(vg730emu::RunCommand({"list"}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("gateway=3 " + std::string(GetParam()) + "\n"), std::string::npos)
        << out.str();
}

INSTANTIATE_TEST_SUITE_P(Names, CanLibraryNameTest,
                         testing::Values("VG730", "Quorvel VG730 #3 Y",
                                         "Tolvak VG730 #3 (spare unit)", "VG730#3",
                                         "Virtual VG730 #3",
                                         "A VG730 name of exactly 63 characters, "
                                         "the most there is room.."));

TEST_F(CanLibraryTest, HoldsEveryGatewayWhileInitialised) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    EXPECT_TRUE(DeviceObject(0, true).IsOpen()); // not yet initialised
    can.initialize();
    for (std::uint32_t number : {0u, 5u}) {
        DeviceObject exclusive(number, true);
        EXPECT_FALSE(exclusive.IsOpen()) << number;
        EXPECT_EQ(exclusive.OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(control.Report(number).holds, 1u);
        // Identity reads through ".info" still work beside the library.
        EXPECT_TRUE(DeviceObject(number, false).CardInfo().ok);
    }
    can.unload();
    // Released: the flash programmer's ".exclusive" open works at once.
    EXPECT_TRUE(DeviceObject(0, true).IsOpen());
    EXPECT_TRUE(DeviceObject(5, true).IsOpen());

    // Freed without canUnloadLibrary, the library lets go too.
    can.initialize();
    EXPECT_FALSE(DeviceObject(0, true).IsOpen());
    can.Release();
    EXPECT_TRUE(DeviceObject(0, true).IsOpen());
}

// A restart far longer than any stall of the test: the gateway is surely still away when the
// library lists the gateways.
TEST_F(CanLibraryTest, RestartingGatewayIsNotListed) {
    Fault(0, {"restart-ms", "600000"});
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    {
        DeviceObject exclusive(0, true);
        ASSERT_TRUE(exclusive.IsOpen());
        ASSERT_EQ(exclusive.Command(VG730_FLASH_START).status, 0);
        ASSERT_EQ(exclusive.Command(VG730_FLASH_END).status, 0);
    }
    can.initialize();
    std::int32_t count = -1;
    ASSERT_EQ(can.count(&count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(can.Name(0), "Tolvak VG730-2 #5 Y");
}

TEST_F(CanLibraryTest, RestartedGatewayIsListedAgain) {
    Fault(0, {"restart-ms", "600"});
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    std::chrono::steady_clock::time_point ended;
    {
        DeviceObject exclusive(0, true);
        ASSERT_TRUE(exclusive.IsOpen());
        ASSERT_EQ(exclusive.Command(VG730_FLASH_START).status, 0);
        ended = std::chrono::steady_clock::now();
        ASSERT_EQ(exclusive.Command(VG730_FLASH_END).status, 0);
    }
    can.initialize();
    // Listed again once the restart time has passed since FLASH_END, never before: the driver
    // counts whole milliseconds of the same clock, so not before 599 ms. Polled for at most a
    // minute, which only ends a test that would otherwise hang.
    std::int32_t count = -1;
    ASSERT_EQ(can.count(&count), 0);
    while (count != 3 && std::chrono::steady_clock::now() - ended < 60s) {
        std::this_thread::sleep_for(20ms);
        ASSERT_EQ(can.count(&count), 0);
    }
    ASSERT_EQ(count, 3);
    EXPECT_GE(std::chrono::steady_clock::now() - ended, 599ms);
    EXPECT_EQ(can.Name(0), "Quorvel VG730 #0");
    // The gateway came back with its firmware unchanged (nothing was written).
    std::uint8_t firmware[8] = {};
    ASSERT_EQ(can.channelData(0, 9, firmware, 8), 0);
    EXPECT_EQ(firmware[0], 176);
    // Listed again, it is held again.
    EXPECT_FALSE(DeviceObject(0, true).IsOpen());
}

struct FrameCase {
    const char* name;
    std::int32_t id;
    std::uint32_t flags, dlc;
    std::uint32_t readFlags; // 0: refused
};

class CanLoopbackTest : public CanLibraryTest, public testing::WithParamInterface<FrameCase> {};

TEST_P(CanLoopbackTest, WrittenFrameComesBack) {
    const FrameCase& c = GetParam();
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    std::uint8_t data[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const std::int32_t status = can.write(handle, c.id, data, c.dlc, c.flags);
    if (c.readFlags == 0) {
        EXPECT_EQ(status, -1);
        return;
    }
    ASSERT_EQ(status, 0);
    std::int32_t id = 0;
    std::uint8_t read[8] = {};
    std::uint32_t dlc = 0, flags = 0, time = 0;
    ASSERT_EQ(can.readWait(handle, &id, read, &dlc, &flags, &time, 1000), 0);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(dlc, c.dlc);
    EXPECT_EQ(std::memcmp(read, data, c.dlc), 0);
    EXPECT_EQ(flags, c.readFlags);
    // Nothing more: a second read times out.
    EXPECT_EQ(can.readWait(handle, &id, read, &dlc, &flags, &time, 50), -2);
    EXPECT_EQ(can.close(handle), 0);
    EXPECT_EQ(can.close(handle), -10);
}

INSTANTIATE_TEST_SUITE_P(Frames, CanLoopbackTest,
                         testing::Values(FrameCase{"Standard", 0x123, 0x02, 3, 0x02},
                                         FrameCase{"Extended", 0x1ABCDE, 0x04, 8, 0x04},
                                         FrameCase{"Empty", 0x7FF, 0x02, 0, 0x02},
                                         FrameCase{"StandardTooLarge", 0x800, 0x02, 1, 0},
                                         FrameCase{"TooLong", 0x100, 0x02, 9, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanLibraryTest, ChannelsShareTheirBusAndKeepToTheOpenFlags) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t sender = OpenOnBus(can, 1, SharedOpenFlags);
    const std::int32_t receiver = OpenOnBus(can, 1, SharedOpenFlags);
    ASSERT_GE(sender, 0);
    ASSERT_GE(receiver, 0);
    EXPECT_EQ(can.openChannel(1, OpenFlags), -6); // exclusive beside others
    const std::int32_t other = OpenOnBus(can, 0);
    ASSERT_GE(other, 0);
    EXPECT_EQ(can.openChannel(0, SharedOpenFlags), -6); // beside an exclusive one

    std::uint8_t data[2] = {0xAB, 0xCD};
    std::uint8_t own = 0;
    ASSERT_EQ(can.ioctl(sender, 20, &own, 1), 0); // the sender does not want its own frames
    ASSERT_EQ(can.write(sender, 0x55, data, 2, 0x02), 0);
    std::int32_t id;
    std::uint8_t read[8];
    std::uint32_t dlc, flags, time;
    ASSERT_EQ(can.readWait(receiver, &id, read, &dlc, &flags, &time, 1000), 0);
    EXPECT_EQ(id, 0x55);
    EXPECT_EQ(can.readWait(sender, &id, read, &dlc, &flags, &time, 20), -2);
    // Another channel is another bus.
    EXPECT_EQ(can.readWait(other, &id, read, &dlc, &flags, &time, 20), -2);

    // Virtual channels only with their flag.
    EXPECT_EQ(can.openChannel(2, 0x88), -3);
    EXPECT_GE(can.openChannel(2, 0xA0), 0);
    EXPECT_EQ(can.openChannel(3, 0xA0), -3);
}

TEST_F(CanLibraryTest, InjectedFramesAreReadAsReceivedOnes) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    NotifyWindow window;
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(can.setNotify(handle, window.Get(), 0x05), 0);

    vg730emu::CanInjectedFrame frame{0x18FF00AA, 4, 0x04, {0xDE, 0xAD, 0xBE, 0xEF}};
    ASSERT_EQ(can.ioctl(handle, 0x7E05, &frame, sizeof(frame)), 0);
    EXPECT_TRUE(window.WaitFor(32000, handle));
    std::int32_t id = 0;
    std::uint8_t data[8] = {};
    std::uint32_t dlc = 0, flags = 0, time = 0;
    ASSERT_EQ(can.readWait(handle, &id, data, &dlc, &flags, &time, 1000), 0);
    EXPECT_EQ(id, 0x18FF00AA);
    EXPECT_EQ(dlc, 4u);
    EXPECT_EQ(flags, 0x04u);
    EXPECT_EQ(std::memcmp(data, frame.data, 4), 0);

    // An error frame with an extended identifier, as the updater's channel reads it.
    std::uint32_t extended = 0x04;
    ASSERT_EQ(can.ioctl(handle, 0x7E03, &extended, 4), 0);
    EXPECT_TRUE(window.WaitFor(32002, handle));
    ASSERT_EQ(can.readWait(handle, &id, data, &dlc, &flags, &time, 1000), 0);
    EXPECT_EQ(flags, 0x24u);
}

TEST_F(CanLibraryTest, TranslatesTheFiftyKilobitCode) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    std::int32_t bitrate = -7;
    std::uint32_t tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, sync = 99;
    ASSERT_EQ(can.translateBaud(&bitrate, &tseg1, &tseg2, &sjw, &samples, &sync), 0);
    EXPECT_EQ(bitrate, 50000);
    EXPECT_GT(tseg1, 0u);
    EXPECT_GT(tseg2, 0u);
    EXPECT_EQ(sjw, 1u);
    EXPECT_EQ(samples, 1u);
    // The translated values are accepted as bus parameters.
    can.initialize();
    const std::int32_t handle = can.openChannel(0, OpenFlags);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(can.setBusParams(handle, bitrate, tseg1, tseg2, sjw, samples, 0), 0);
    EXPECT_EQ(can.setBusParams(handle, 250000, 0, 3, 1, 1, 0), -1);
    bitrate = 123;
    EXPECT_EQ(can.translateBaud(&bitrate, &tseg1, &tseg2, &sjw, &samples, &sync), -1);
}

TEST_F(CanLibraryTest, NotifiesTheWindowOfEachEvent) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    NotifyWindow window;
    ASSERT_NE(window.Get(), nullptr);
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(can.setNotify(handle, window.Get(), 0x0F), 0);
    std::uint8_t data[1] = {1};
    ASSERT_EQ(can.write(handle, 0x10, data, 1, 0x02), 0);
    EXPECT_TRUE(window.WaitFor(32000, handle));
    EXPECT_TRUE(window.WaitFor(32001, handle));
    // The high word is never 0 (the handle with bit 15 set): a user that forgets to mask it
    // misses every event.
    const std::uint16_t marked = static_cast<std::uint16_t>(0x8000 | handle);
    const std::vector<std::uint16_t> highWords = window.HighWords(handle);
    EXPECT_GE(highWords.size(), 2u);
    for (std::uint16_t word : highWords) {
        EXPECT_EQ(word, marked);
    }
    window.Clear();
    ASSERT_EQ(can.ioctl(handle, 0x7E03, nullptr, 0), 0); // an error frame on the bus
    EXPECT_TRUE(window.WaitFor(32002, handle));
    ASSERT_EQ(can.busOff(handle), 0);
    EXPECT_TRUE(window.WaitFor(32003, handle));
    std::uint32_t status = 0;
    ASSERT_EQ(can.readStatus(handle, &status), 0);
    EXPECT_TRUE(status & 0x02); // off the bus

    // Only the events asked for.
    window.Clear();
    ASSERT_EQ(can.busOn(handle), 0);
    ASSERT_EQ(can.setNotify(handle, window.Get(), 0x08), 0);
    ASSERT_EQ(can.write(handle, 0x10, data, 1, 0x02), 0);
    EXPECT_FALSE(window.WaitFor(32000, handle, 200ms));
    EXPECT_TRUE(window.WaitFor(32003, handle)); // from the bus on
}

TEST_F(CanLibraryTest, TransmitBufferCanBeCountedAndFlushed) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    std::uint8_t hold = 1;
    ASSERT_EQ(can.ioctl(handle, 0x7E01, &hold, 1), 0); // frames wait on a busy bus
    std::uint8_t data[1] = {7};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(can.write(handle, 0x20 + i, data, 1, 0x02), 0);
    }
    std::uint32_t waiting = 0;
    ASSERT_EQ(can.ioctl(handle, 9, &waiting, 4), 0);
    EXPECT_EQ(waiting, 3u);
    EXPECT_EQ(can.writeSync(handle, 20), -7);
    ASSERT_EQ(can.ioctl(handle, 11, nullptr, 0), 0);
    ASSERT_EQ(can.ioctl(handle, 9, &waiting, 4), 0);
    EXPECT_EQ(waiting, 0u);
    // Released, a new frame goes out at once; the flushed ones never do.
    hold = 0;
    ASSERT_EQ(can.ioctl(handle, 0x7E01, &hold, 1), 0);
    ASSERT_EQ(can.write(handle, 0x30, data, 1, 0x02), 0);
    EXPECT_EQ(can.writeSync(handle, 1000), 0);
    std::int32_t id;
    std::uint8_t read[8];
    std::uint32_t dlc, flags, time;
    ASSERT_EQ(can.readWait(handle, &id, read, &dlc, &flags, &time, 1000), 0);
    EXPECT_EQ(id, 0x30);
    EXPECT_EQ(can.ioctl(handle, 9, &waiting, 2), -1); // too small a buffer
}

TEST_F(CanLibraryTest, StatusAndErrorCountersOfTheGateway) {
    Fault(0, {"bus-status", "0x81"});
    Fault(0, {"error-counters", "3", "4", "5"});
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    std::uint32_t status = 0;
    ASSERT_EQ(can.readStatus(handle, &status), 0);
    EXPECT_EQ(status & 0x81, 0x81u);
    std::uint32_t tx = 0, rx = 0, overruns = 0;
    ASSERT_EQ(can.errorCounters(handle, &tx, &rx, &overruns), 0);
    EXPECT_EQ(tx, 3u);
    EXPECT_EQ(rx, 4u);
    EXPECT_EQ(overruns, 5u);
    // The other gateway reports its own (untouched) state.
    const std::int32_t second = OpenOnBus(can, 1);
    ASSERT_EQ(can.readStatus(second, &status), 0);
    EXPECT_EQ(status & 0x81, 0u);
}

TEST_F(CanLibraryTest, GatewayGoneThenBackInvalidatesItsHandles) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    std::uint8_t data[1] = {1};
    ASSERT_EQ(can.write(handle, 1, data, 1, 0x02), 0);
    // Unplugged: the handle answers that the device is gone (the back-end reopens on it).
    control.RemoveDevice(0);
    EXPECT_EQ(can.write(handle, 1, data, 1, 0x02), -15);
    std::uint32_t status;
    EXPECT_EQ(can.readStatus(handle, &status), -15);
    // Plugged in again it is a new device: the old handle is invalid, a new one works.
    control.AddDevice(0);
    EXPECT_EQ(can.write(handle, 1, data, 1, 0x02), -10);
    std::int32_t count = 0;
    ASSERT_EQ(can.count(&count), 0);
    ASSERT_EQ(count, 3);
    can.close(handle);
    const std::int32_t fresh = OpenOnBus(can, 0);
    ASSERT_GE(fresh, 0);
    EXPECT_EQ(can.write(fresh, 1, data, 1, 0x02), 0);
    // Channel 0 is the gateway's: opened on the virtual flag it is still not virtual.
    EXPECT_EQ(can.Name(0), "Quorvel VG730 #0");
}

TEST_F(CanLibraryTest, EntryFaultsAnswerTheirStatus) {
    control.SetEntryStatus("canWrite", -15);
    control.SetEntryStatus("canGetChannelData", -3);
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    std::int32_t count = 0;
    ASSERT_EQ(can.count(&count), 0);
    EXPECT_EQ(count, 3);
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(can.channelData(0, 13, buffer, sizeof(buffer)), -3);
    EXPECT_EQ(buffer[0], 0); // not carried out
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(can.write(handle, 1, buffer, 1, 0x02), -15);
    can.unload();

    // A failing initialisation leaves the library without channels.
    control.SetEntryStatus("canWrite", std::nullopt);
    control.SetEntryStatus("canInitializeLibrary", -5);
    EXPECT_EQ(can.initialize(), -5);
    EXPECT_EQ(can.count(&count), -8);
    control.SetEntryStatus("canInitializeLibrary", std::nullopt);
    EXPECT_EQ(can.initialize(), 0);
    EXPECT_EQ(can.count(&count), 0);
}

class MissingEntryTest : public CanLibraryTest, public testing::WithParamInterface<const char*> {};

TEST_P(MissingEntryTest, InstalledCopyLacksTheEntry) {
    vg730emu::InstallOptions options;
    options.missingEntries = {GetParam()};
    vg730emu::Install(options);
    for (const wchar_t* file : {L"quorvelvncomm32.dll", L"VNCOMM32.dll"}) {
        UniqueModule module(LoadLibraryW(file));
        ASSERT_TRUE(module.valid());
        for (std::string_view entry : vg730emu::CanLibEntryNames) {
            const bool present =
                GetProcAddress(module.get(), std::string(entry).c_str()) != nullptr;
            EXPECT_EQ(present, entry != GetParam()) << entry;
        }
    }
    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(folder, MAX_PATH), 0u);
    std::vector<std::uint8_t> bytes;
    {
        // Closed again before the reset below replaces the file.
        std::ifstream file(std::filesystem::path(folder) / L"quorvelvncomm32.dll",
                           std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), {});
    }
    const std::vector<std::string> names = vg730emu::ExportedNames(bytes);
    EXPECT_EQ(names.size(), 33u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // Reset brings the whole library back.
    vg730emu::ResetEmulator();
    LoadedCanLibrary whole(L"quorvelvncomm32.dll");
    EXPECT_NE(whole.Entry(GetParam()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Entries, MissingEntryTest,
                         testing::Values("canWaitForEvent", "canLocateHardware",
                                         "canUnloadLibrary"));

} // namespace
