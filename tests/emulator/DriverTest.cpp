// Windows side, under Wine: the kernel-mode test driver as the flash programmer meets it. The
// gateways are set up with the control library; everything else goes through CreateFileA and
// DeviceIoControl on the driver's device objects.
#include "DeviceObject.h"
#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "Vg730Crc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class DriverTest : public testing::Test {
protected:
    void SetUp() override { vg730emu::ResetEmulator(); }

    vg730emu::EmulatorControl control;

    void SetFault(std::uint32_t number, const std::vector<std::string>& words) {
        std::vector<std::string> args = {"fault", std::to_string(number)};
        args.insert(args.end(), words.begin(), words.end());
        const vg730emu::Command command = vg730emu::ParseCommand(args);
        control.SetFault(number, command.fault);
    }

    // Opens an object that a handle closed just now kept shut: Wine passes the close on to the
    // driver a moment after CloseHandle returns, later still on a busy machine. Polled for at
    // most a minute: the bound only ends a test that would otherwise hang.
    static DeviceObject OpenSoon(std::uint32_t number, bool exclusive) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            DeviceObject object(number, exclusive);
            if (object.IsOpen() || std::chrono::steady_clock::now() - start > 60s) {
                return object;
            }
            std::this_thread::sleep_for(10ms);
        }
    }
};

struct IdentityCase {
    const char* name;
    std::uint32_t number;
    std::vector<std::string> addArgs;
    std::uint32_t fwMajor, fwMinor, fwBuild, hwMajor, hwMinor;
    std::int32_t serial;
    std::uint32_t eanHi, eanLo;
    bool keepsParamEan;
    std::uint32_t paramHi, paramLo;
};

class DriverIdentityTest : public DriverTest, public testing::WithParamInterface<IdentityCase> {};

TEST_P(DriverIdentityTest, InfoObjectAnswersTheIdentityAtItsOffsets) {
    const IdentityCase& c = GetParam();
    std::vector<std::string> args = {"add", std::to_string(c.number)};
    args.insert(args.end(), c.addArgs.begin(), c.addArgs.end());
    control.AddDevice(c.number, vg730emu::ParseCommand(args).identity);

    DeviceObject info(c.number, false);
    ASSERT_TRUE(info.IsOpen()) << info.OpenError();
    const DeviceAnswer card = info.CardInfo();
    ASSERT_TRUE(card.ok) << card.error;
    EXPECT_EQ(WordAt(card.buffer, 84), c.fwMajor);
    EXPECT_EQ(WordAt(card.buffer, 88), c.fwMinor);
    EXPECT_EQ(WordAt(card.buffer, 92), c.fwBuild);
    EXPECT_EQ(WordAt(card.buffer, 96), c.hwMajor);
    EXPECT_EQ(WordAt(card.buffer, 100), c.hwMinor);
    EXPECT_EQ(static_cast<std::int32_t>(WordAt(card.buffer, 116)), c.serial);

    const DeviceAnswer card2 =
        info.Send(VG730_IOCTL_GET_CARD_INFO2, std::vector<std::uint8_t>(VG730_CARD_INFO2_SIZE));
    ASSERT_TRUE(card2.ok) << card2.error;
    EXPECT_EQ(WordAt(card2.buffer, 0), c.eanLo);
    EXPECT_EQ(WordAt(card2.buffer, 4), c.eanHi);

    std::vector<std::uint8_t> parameter(VG730_CARD_PARAMETER_SIZE, 0);
    parameter[0] = 1;
    parameter[4] = 0x81;
    parameter[12] = 8;
    const DeviceAnswer param = info.Send(VG730_IOCTL_READ_CARD_PARAMETER, parameter, 8);
    ASSERT_TRUE(param.ok) << param.error;
    if (c.keepsParamEan) {
        EXPECT_EQ(param.status, 0);
        EXPECT_EQ(WordAt(param.buffer, 16), c.paramLo);
        EXPECT_EQ(WordAt(param.buffer, 20), c.paramHi);
    } else {
        EXPECT_NE(param.status, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gateways, DriverIdentityTest,
    testing::Values(
        IdentityCase{"Defaults", 0, {}, 2, 5, 176, 1, 0, 1234, 0x00073000, 0x99001237, false, 0, 0},
        IdentityCase{"Chosen",
                     5,
                     {"--firmware", "3.10.300", "--hardware", "1.2", "--serial", "7654321", "--ean",
                      "0007300099002005", "--param-ean", "0007300099001237"},
                     3,
                     10,
                     300,
                     1,
                     2,
                     7654321,
                     0x00073000,
                     0x99002005,
                     true,
                     0x00073000,
                     0x99001237},
        IdentityCase{"HighestNumber",
                     127,
                     {"--serial", "-1"},
                     2,
                     5,
                     176,
                     1,
                     0,
                     -1,
                     0x00073000,
                     0x99001237,
                     false,
                     0,
                     0}),
    [](const auto& info) { return std::string(info.param.name); });

struct OpenCase {
    const char* name;
    bool firstExclusive, firstHolds, secondExclusive;
    DWORD openError;    // of the second open; 0: it opens
    DWORD requestError; // of the requests through it when it opens; 0: they work
};

class DriverSharingTest : public DriverTest, public testing::WithParamInterface<OpenCase> {};

bool Hold(DeviceObject& info, std::uint32_t hold) {
    std::vector<std::uint8_t> buffer(VG730_HOLD_SIZE, 0);
    buffer[0] = static_cast<std::uint8_t>(hold);
    return info.Send(VG730_IOCTL_HOLD, buffer).ok;
}

TEST_P(DriverSharingTest, SharingRulesOfARealDevice) {
    const OpenCase& c = GetParam();
    control.AddDevice(2);
    DeviceObject first(2, c.firstExclusive);
    ASSERT_TRUE(first.IsOpen()) << first.OpenError();
    // A request on the first handle: Wine passes the open on to the driver without waiting,
    // and the driver has surely seen it once it answers a later request.
    ASSERT_TRUE(first.CardInfo().ok);
    if (c.firstHolds) {
        ASSERT_TRUE(Hold(first, 1));
    }
    DeviceObject second(2, c.secondExclusive);
    EXPECT_EQ(second.IsOpen(), c.openError == 0);
    EXPECT_EQ(second.OpenError(), c.openError);
    if (second.IsOpen()) {
        const DeviceAnswer card = second.CardInfo();
        EXPECT_EQ(card.ok, c.requestError == 0);
        EXPECT_EQ(card.error, c.requestError);
    }
    // Once the first handle is closed, the refused open works (Wine may pass the close on a
    // moment later).
    first.Close();
    second.Close();
    EXPECT_TRUE(OpenSoon(2, c.secondExclusive).IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Opens, DriverSharingTest,
    testing::Values(OpenCase{"InfoBesideInfo", false, false, false, 0, 0},
                    OpenCase{"SecondExclusive", true, false, true, ERROR_FILE_NOT_FOUND, 0},
                    OpenCase{"InfoWhileExclusive", true, false, false, ERROR_FILE_NOT_FOUND, 0},
                    OpenCase{"ExclusiveWhileHeld", false, true, true, ERROR_FILE_NOT_FOUND, 0},
                    // Wine cannot fail this open (see the driver): its requests fail instead.
                    OpenCase{"ExclusiveBesidePlainInfo", false, false, true, 0,
                             ERROR_SHARING_VIOLATION}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriverTest, LettingGoFreesTheExclusiveObjectAtOnce) {
    control.AddDevice(6);
    for (int round = 0; round < 20; ++round) {
        DeviceObject info = OpenSoon(6, false); // the last round's ".exclusive" just closed
        ASSERT_TRUE(info.IsOpen()) << "round " << round << ": " << info.OpenError();
        ASSERT_TRUE(Hold(info, 1));
        EXPECT_EQ(DeviceObject(6, true).OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(control.Report(6).holds, 1u);
        ASSERT_TRUE(Hold(info, 0));
        info.Close();
        DeviceObject exclusive(6, true); // no waiting: letting go and closing made it free
        ASSERT_TRUE(exclusive.IsOpen()) << "round " << round << ": " << exclusive.OpenError();
        EXPECT_EQ(exclusive.Command(VG730_FLASH_READ_MODE).status, VG730_STATUS_BAD_STATE);
    }
}

TEST_F(DriverTest, IdentityThenProgrammingNeverCollide) {
    // The flash programmer's path: identity through ".info", closed, then ".exclusive" at once.
    control.AddDevice(1);
    for (int round = 0; round < 100; ++round) {
        {
            DeviceObject info = OpenSoon(1, false); // the last round's ".exclusive" just closed
            ASSERT_TRUE(info.IsOpen()) << "round " << round << ": " << info.OpenError();
            ASSERT_TRUE(info.CardInfo().ok);
        }
        DeviceObject exclusive(1, true); // must open at once
        ASSERT_TRUE(exclusive.IsOpen()) << "round " << round << ": " << exclusive.OpenError();
        const DeviceAnswer start = exclusive.Command(VG730_FLASH_READ_MODE);
        ASSERT_TRUE(start.ok) << "round " << round << ": " << start.error;
    }
}

TEST_F(DriverTest, ObjectsOfMissingGatewaysDoNotOpen) {
    control.AddDevice(7);
    for (std::uint32_t number : {0u, 6u, 8u, 127u}) {
        for (bool exclusive : {false, true}) {
            DeviceObject object(number, exclusive);
            EXPECT_FALSE(object.IsOpen()) << number;
            EXPECT_EQ(object.OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << number;
        }
    }
    EXPECT_TRUE(DeviceObject(7, false).IsOpen());
    control.RemoveDevice(7);
    EXPECT_EQ(DeviceObject(7, false).OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_THROW(control.RemoveDevice(7), vg730emu::EmulatorError);
}

TEST_F(DriverTest, ProgrammingNeedsTheExclusiveObject) {
    control.AddDevice(1);
    DeviceObject info(1, false);
    ASSERT_TRUE(info.IsOpen());
    const DeviceAnswer start = info.Command(VG730_FLASH_START);
    EXPECT_FALSE(start.ok);
    EXPECT_EQ(start.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(start.status, 0); // the driver wrote nothing back
    EXPECT_EQ(control.Report(1).state, VG730_STATE_IDLE);
}

TEST_F(DriverTest, MalformedRequestsFailTheCall) {
    control.AddDevice(1);
    DeviceObject info(1, false);
    ASSERT_TRUE(info.IsOpen());
    const DeviceAnswer shortBuffer =
        info.Send(VG730_IOCTL_GET_CARD_INFO, std::vector<std::uint8_t>(VG730_CARD_INFO_SIZE - 4));
    EXPECT_FALSE(shortBuffer.ok);
    EXPECT_EQ(shortBuffer.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const DeviceAnswer unknown = info.Send(0x80002098, std::vector<std::uint8_t>(376));
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));

    // Input and output sizes that differ: not one buffer both ways.
    std::vector<std::uint8_t> buffer(VG730_CARD_INFO_SIZE);
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(info.Get(), VG730_IOCTL_GET_CARD_INFO, buffer.data(),
                                 VG730_CARD_INFO_SIZE, buffer.data(), VG730_CARD_INFO_SIZE - 8,
                                 &returned, nullptr));
}

// A restart far longer than any stall of the test: the gateway is surely still away when the
// test looks.
TEST_F(DriverTest, RestartingGatewayIsAway) {
    control.AddDevice(3);
    SetFault(3, {"restart-ms", "600000"});
    DeviceObject exclusive(3, true);
    ASSERT_TRUE(exclusive.IsOpen()) << exclusive.OpenError();
    ASSERT_TRUE(exclusive.Command(VG730_FLASH_START).ok);
    const DeviceAnswer end = exclusive.Command(VG730_FLASH_END);
    ASSERT_TRUE(end.ok);
    EXPECT_EQ(end.status, 0);
    EXPECT_EQ(control.Report(3).presence, VG730_RESTARTING);
    DeviceObject absent(3, false);
    EXPECT_FALSE(absent.IsOpen());
    EXPECT_EQ(absent.OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const DeviceAnswer after = exclusive.CardInfo();
    EXPECT_FALSE(after.ok);
    EXPECT_EQ(after.error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(DriverTest, ProgrammedImageRunsAfterTheRestart) {
    control.AddDevice(3);
    SetFault(3, {"restart-ms", "500"});
    vg730::ImageSpec spec;
    spec.size = 3000;
    spec.build = "2.05.177 driver test";
    const std::vector<std::uint8_t> image = vg730::BuildImage(spec);
    std::chrono::steady_clock::time_point ended;
    {
        DeviceObject exclusive(3, true);
        ASSERT_TRUE(exclusive.IsOpen()) << exclusive.OpenError();
        ASSERT_TRUE(exclusive.Program(spec.load_addr, image));
        ended = std::chrono::steady_clock::now();
        const DeviceAnswer end = exclusive.Command(VG730_FLASH_END);
        ASSERT_TRUE(end.ok);
        EXPECT_EQ(end.status, 0);
        // The handle it was programmed through belongs to the life before the restart.
        const DeviceAnswer after = exclusive.CardInfo();
        EXPECT_FALSE(after.ok);
        EXPECT_EQ(after.error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    }

    // Back once the restart time has passed since FLASH_END, never before. The driver counts
    // whole milliseconds of the same clock: back means at least 499 ms after FLASH_END.
    DeviceObject info = OpenSoon(3, false);
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(info.IsOpen()) << "not back within a minute";
    EXPECT_GE(back - ended, 499ms);
    const DeviceAnswer card = info.CardInfo();
    ASSERT_TRUE(card.ok);
    EXPECT_EQ(WordAt(card.buffer, 84), 2u);
    EXPECT_EQ(WordAt(card.buffer, 88), 5u);
    EXPECT_EQ(WordAt(card.buffer, 92), 177u);
    const Vg730Report report = control.Report(3);
    EXPECT_EQ(report.image_ok, 1u);
    EXPECT_EQ(report.flash_start, spec.load_addr);
    EXPECT_EQ(report.flash_length, image.size());
    EXPECT_EQ(report.flash_crc, vg730_crc16_kermit(image.data(), image.size()));
}

TEST_F(DriverTest, InjectedFaultsReachTheCaller) {
    control.AddDevice(4);
    DeviceObject exclusive(4, true);
    ASSERT_TRUE(exclusive.IsOpen());

    SetFault(4, {"fail", "get_card_info", "--nth", "2"});
    EXPECT_TRUE(exclusive.CardInfo().ok);
    const DeviceAnswer failed = exclusive.CardInfo();
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, static_cast<DWORD>(ERROR_IO_DEVICE));
    EXPECT_TRUE(exclusive.CardInfo().ok);

    SetFault(4, {"refuse-start", "7"});
    const DeviceAnswer refused = exclusive.Command(VG730_FLASH_START, 255, 255, 255);
    EXPECT_TRUE(refused.ok);
    EXPECT_EQ(refused.status, 7);
    EXPECT_EQ(control.Report(4).start_version.major, 255u);

    SetFault(4, {"refuse-start", "0"});
    ASSERT_EQ(exclusive.Command(VG730_FLASH_START).status, 0);
    SetFault(4, {"status", "flash_command", "6"});
    EXPECT_EQ(exclusive.Command(VG730_FLASH_ERASE).status, 6);
    EXPECT_EQ(control.Report(4).state, VG730_STATE_STARTED);

    SetFault(4, {"unplug", "--at", "flash_command"});
    const DeviceAnswer gone = exclusive.Command(VG730_FLASH_ERASE);
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(gone.error, static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(DeviceObject(4, false).OpenError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(control.Report(4).presence, VG730_UNPLUGGED);
}

TEST_F(DriverTest, CorruptedReadBackShowsInTheCompare) {
    control.AddDevice(0);
    vg730::ImageSpec spec;
    spec.size = 512;
    const std::vector<std::uint8_t> image = vg730::BuildImage(spec);
    DeviceObject exclusive(0, true);
    ASSERT_TRUE(exclusive.IsOpen());
    ASSERT_TRUE(exclusive.Program(spec.load_addr, image));
    SetFault(0, {"corrupt", std::to_string(spec.load_addr + 100)});
    const DeviceAnswer up = exclusive.Upload(spec.load_addr + 96, 8);
    ASSERT_TRUE(up.ok);
    EXPECT_EQ(up.buffer[VG730_TR_DATA + 4], static_cast<std::uint8_t>(image[100] ^ 0xFF));
    EXPECT_EQ(up.buffer[VG730_TR_DATA + 3], image[99]);
}

TEST_F(DriverTest, LatencySlowsEveryRequest) {
    control.AddDevice(0);
    DeviceObject info(0, false);
    ASSERT_TRUE(info.IsOpen());
    SetFault(0, {"latency", "20000"});
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(info.CardInfo().ok);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(control.Report(0).latency_us, 20000u);
}

// An identity read that leaves its ".info" handle open: the programming that follows is refused,
// and the request log shows it.
TEST_F(DriverTest, LeakedInfoHandleKeepsProgrammingOut) {
    control.AddDevice(2);
    DeviceObject leaked(2, false);
    ASSERT_TRUE(leaked.CardInfo().ok);
    DeviceObject exclusive(2, true);
    ASSERT_TRUE(exclusive.IsOpen()) << "Wine opens it without asking the driver";
    const DeviceAnswer start = exclusive.Command(VG730_FLASH_START);
    EXPECT_FALSE(start.ok);
    EXPECT_EQ(start.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(control.Report(2).state, VG730_STATE_IDLE);
    // Refused for good: closing the ".info" handle later does not make this one usable.
    leaked.Close();
    EXPECT_FALSE(exclusive.Command(VG730_FLASH_START).ok);
    std::vector<std::string> lines;
    for (const Vg730Request& request : control.Requests().requests) {
        lines.push_back(vg730emu::RequestText(request));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "#2 info get_card_info status=0",
                         "#2 exclusive flash_command FLASH_START 0.0.0 failed=sharing",
                         "#2 exclusive flash_command FLASH_START 0.0.0 failed=sharing",
                     }));
}

} // namespace
