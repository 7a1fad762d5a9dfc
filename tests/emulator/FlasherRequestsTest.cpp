// Windows side, under Wine: the real vessa_flash.exe against the emulated gateway as strict as a
// real one. The exact driver requests of a run, and a gateway left without firmware by a lost
// power or a write fault, programmed again.
#include "EmulatorControl.h"
#include "FlasherProcess.h"
#include "ImageWriter.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using flash_wine::input_kind;
using flash_wine::run_flasher;
using flash_wine::run_options;
using flash_wine::run_result;

class FlasherTest : public testing::Test {
protected:
    void SetUp() override { vg730emu::ResetEmulator(); }

    // Waits, at most 10 s, until the gateway is back from its restart.
    Vg730Report WhenBack(std::uint32_t number) {
        Vg730Report report = control.Report(number);
        for (int i = 0; i < 100 && report.presence == VG730_RESTARTING; ++i) {
            Sleep(100);
            report = control.Report(number);
        }
        return report;
    }

    vg730emu::EmulatorControl control;
    flash_test::test_folder folder;
};

// The request lines of one gateway, in the order the driver received them.
std::vector<std::string> RequestLines(const vg730emu::DriverRequestLog& log, std::uint32_t number) {
    std::vector<std::string> lines;
    for (const Vg730Request& request : log.Of(number)) {
        lines.push_back(vg730emu::RequestText(request));
    }
    return lines;
}

std::string Hex(std::uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof(text), "0x%08x", value);
    return text;
}

// An image of 0x12345 bytes at 0x1FE8: its first page is cut short and it spans two 64 KiB banks.
// The version comes from the index file (2 from its defaults, 5 and 177 from the entry), so every
// word of the flash commands shows where it was put.
TEST_F(FlasherTest, RequestsOfAnImageAt0x1FE8AcrossABank) {
    control.AddDevice(0);
    vg730::ImageSpec spec;
    spec.load_addr = 0x1FE8;
    spec.size = 0x12345 - 26;
    vg730::WriteImageFile(folder.path() / "fw.img", spec);
    folder.write_text("index.ini", "[index]\r\nF0=Gateway\r\n[default]\r\nMajorVersion=2\r\n"
                                   "[Gateway]\r\nFile=fw.img\r\nEanHi=0x00073000\r\n"
                                   "EanLo=0x99001237\r\nMinorVersion=5\r\nBuildNumber=177\r\n");
    run_options options;
    options.input = input_kind::hidden;
    options.working_directory = folder.path().string();
    options.timeout_ms = 120000;
    const run_result run = run_flasher({"-C0", "-vc", "-index", "index.ini"}, options);
    ASSERT_FALSE(run.timed_out);
    ASSERT_EQ(run.exit_code, 0) << run.output;

    // Worked out by hand from the programming sequence, request by request.
    const std::string v = " 2.5.177 status=0";
    std::vector<std::string> expected = {
        "#0 info get_card_info status=0",
        "#0 info get_card_info2 status=0",
        "#0 info read_card_parameter status=10", // the gateway keeps no EAN of its own
        "#0 exclusive flash_command FLASH_START" + v,
        "#0 exclusive flash_command FLASH_ERASE" + v,
        // One erase check per bank the image touches: 0x12345 bytes, two of them.
        "#0 exclusive download 0x0000fffe 0 status=0",
        "#0 exclusive download 0x0001fffe 0 status=0",
        "#0 exclusive flash_command FLASH_WRITE_MODE" + v,
        // 16 bytes, then 8 up to the end of the page, then whole chunks from 0x2000 on.
        "#0 exclusive download 0x00001fe8 16 status=0",
        "#0 exclusive download 0x00001ff8 8 status=0",
    };
    // 0x2000 .. 0x1432C: 0x1232D bytes, 4658 chunks of 16 and the last 13 at 0x14320.
    for (std::uint32_t i = 0; i < 4658; ++i) {
        expected.push_back("#0 exclusive download " + Hex(0x2000 + 16 * i) + " 16 status=0");
    }
    expected.push_back("#0 exclusive download 0x00014320 13 status=0");
    expected.push_back("#0 exclusive flash_command FLASH_READ_MODE" + v);
    // The compare is not split at pages: 4660 chunks of 16 from 0x1FE8, the last 5 at 0x14328.
    for (std::uint32_t i = 0; i < 4660; ++i) {
        expected.push_back("#0 exclusive upload " + Hex(0x1FE8 + 16 * i) + " 16 status=0");
    }
    expected.push_back("#0 exclusive upload 0x00014328 5 status=0");
    expected.push_back("#0 exclusive flash_command FLASH_END 0.0.0 status=0");

    const vg730emu::DriverRequestLog log = control.Requests();
    const std::vector<std::string> seen = RequestLines(log, 0);
    EXPECT_EQ(log.total, expected.size());
    ASSERT_EQ(seen.size(), expected.size());
    int differences = 0;
    for (std::size_t i = 0; i < expected.size() && differences < 10; ++i) {
        if (seen[i] != expected[i]) {
            ADD_FAILURE() << "request " << i + 1 << ": " << seen[i] << "\n  expected "
                          << expected[i];
            ++differences;
        }
    }
    const Vg730Report after = WhenBack(0);
    EXPECT_EQ(vg730emu::FormatFirmware(after.identity.firmware), "2.05.177");
}

struct RecoveryCase {
    const char* name;
    std::vector<std::string> fault; // as "vg730emu fault 0 ..." takes it
    bool unplugged;                 // the gateway is gone and must be plugged in again
    std::string failure;            // what the flash programmer says of it
};

class FlasherRecoveryTest : public FlasherTest, public testing::WithParamInterface<RecoveryCase> {};

// The first run fails and leaves the gateway without firmware (0.00.0 after it starts again, its
// name and EAN as before); the flash programmer programs it all the same in the second run.
TEST_P(FlasherRecoveryTest, GatewayWithoutFirmwareIsProgrammedAgain) {
    const RecoveryCase& c = GetParam();
    control.AddDevice(0);
    std::vector<std::string> words = {"fault", "0", "restart-ms", "200"};
    control.SetFault(0, vg730emu::ParseCommand(words).fault);
    words = {"fault", "0"};
    words.insert(words.end(), c.fault.begin(), c.fault.end());
    control.SetFault(0, vg730emu::ParseCommand(words).fault);
    vg730::ImageSpec spec; // 4122 bytes at 0x10000
    const std::string image = (folder.path() / "fw.img").string();
    vg730::WriteImageFile(image, spec);
    run_options options;
    options.input = input_kind::hidden;

    const run_result failed = run_flasher({"-C0", "-vc", image}, options);
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_NE(flash_wine::without_rates(failed.output)
                  .find(c.failure + "\nThe firmware was NOT updated.\n"),
              std::string::npos)
        << failed.output;
    if (c.unplugged) {
        EXPECT_EQ(control.Report(0).presence, VG730_UNPLUGGED);
        control.PlugDevice(0);
    }
    const Vg730Report without = WhenBack(0);
    EXPECT_EQ(without.presence, VG730_PRESENT);
    EXPECT_EQ(without.image_ok, 0u);
    EXPECT_EQ(vg730emu::FormatFirmware(without.identity.firmware), "0.00.0");
    EXPECT_STREQ(without.identity.name, "Quorvel VG730 #0");

    control.ClearFaults(0);
    words = {"fault", "0", "restart-ms", "200"};
    control.SetFault(0, vg730emu::ParseCommand(words).fault);
    const run_result again = run_flasher({"-C0", "-vc", image}, options);
    EXPECT_EQ(again.exit_code, 0) << again.output;
    EXPECT_NE(again.output.find("Current Firmware Version: 0.00.000\n"), std::string::npos)
        << again.output;
    const Vg730Report after = WhenBack(0);
    EXPECT_EQ(after.image_ok, 1u);
    EXPECT_EQ(vg730emu::FormatFirmware(after.identity.firmware), "2.05.177");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlasherRecoveryTest,
    testing::Values(
        // Flash commands: 1 start, 2 erase.
        RecoveryCase{"UnpluggedRightAfterTheErase",
                     {"unplug", "--at", "flash_command", "--nth", "2", "--after"},
                     true,
                     "Erasing...Unable to start flash erasing (r=-1, status=0)\n"},
        // Downloads: 1 the erase check, then the chunks from 0x10000 on; the 29th is at 0x101C0.
        RecoveryCase{"UnpluggedHalfwayThroughAChunk",
                     {"unplug", "--at", "download", "--nth", "30", "--half"},
                     true,
                     "Error: Download failed (addr=0x101c0, len=0x10, r=-1, status=0)\n"},
        // Every download accepted; the compare finds the two bytes, and so does the gateway.
        RecoveryCase{"WriteFault",
                     {"write-fault", "0x10031", "--length", "2", "--mask", "0x40"},
                     false,
                     "Compare finished (<rate> bytes/s, total 4122 bytes).\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
