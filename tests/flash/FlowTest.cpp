// Native: the whole programmer as its entry runs it, against emulated devices: the transcript a
// calling program sees, the identity lines, the EAN assertion, the bootstrap guard, the index
// file, all-devices mode and the exit codes.
#include "ProgramFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace flash_test;

// Started as the updater starts it: device number, "-vc" and the image path.
TEST_F(Program, WhatACallingProgramSees) {
    plug(0);
    vg730::ImageSpec spec = small();
    spec.build = "2.05.177 sample";
    spec.description = "VG730 firmware";
    const std::string path = image("fw.img", spec);
    ASSERT_EQ(run({"-C0", "-vc", path}), 0) << output;
    // Rates depend on the clock: compared as a placeholder.
    const std::string transcript =
        std::regex_replace(output, std::regex("\\([0-9]+ bytes/s"), "(<rate> bytes/s");
    EXPECT_EQ(transcript, banner +
                              "Serial Number:            0001234\n"
                              "Hardware version:         1.0\n"
                              "Current Firmware Version: 2.05.176\n"
                              "Hardware type:            N/A (P/N 0007300099001237))\n"
                              "\n"
                              "Loading image file '" +
                              path +
                              "'...OK.\n"
                              "Firmware build string:    2.05.177 sample\n"
                              "Target part number:       0007300099001237\n"
                              "Description:              VG730 firmware\n"
                              "Erasing...\n"
                              "Download started: ##\n"
                              "Download complete (<rate> bytes/s, total 2026 bytes).\n"
                              "Starting compare: ##\n"
                              "Compare finished (<rate> bytes/s, total 2026 bytes).\n");
    EXPECT_EQ(platform_state().input_reads, 0);
    EXPECT_EQ(platform_state().keys_read, 0);
    // FLASH_END after the sequence; the device then runs the image's version.
    EXPECT_EQ(flash_commands().back(), flash::FLASH_END);
    EXPECT_EQ(platform_state().open_handles, 0);
    const Vg730Report r = report(0);
    EXPECT_EQ(r.image_ok, 1u);
    EXPECT_EQ(r.start_version.major + r.start_version.minor + r.start_version.build, 0u);
}

TEST_F(Program, AbsentDevice) {
    const std::string path = image("fw.img");
    ASSERT_EQ(run({"-C5", path}), 1);
    EXPECT_EQ(output, banner + ".....Failed to open the device driver.\n"
                               "Error code 0x00000002: The system cannot find the file specified.\n"
                               "Check that the device is connected and online, and that no other "
                               "application\nis using the device.\n"
                               "\nThe firmware was NOT updated.\nPress RETURN to quit.\n");
    EXPECT_EQ(platform_state().slept_ms, 2500u);
    EXPECT_EQ(platform_state().input_reads, 1);
}

TEST_F(Program, UnattendedFailureReadsNoInput) {
    ASSERT_EQ(run({"-C5", "-unattended", image("fw.img")}), 1);
    EXPECT_TRUE(output.ends_with("\nThe firmware was NOT updated.\n")) << output;
    EXPECT_EQ(platform_state().input_reads, 0);
}

TEST_F(Program, FlashEndAlsoAfterAFailedSequence) {
    Vg730Device& d = plug(0);
    Vg730Fault fault{};
    fault.type = VG730_FAULT_REFUSE_START;
    fault.status = 7;
    ASSERT_EQ(vg730_device_add_fault(&d, &fault), VG730_OK);
    ASSERT_EQ(run({"-C0", image("fw.img")}), 1);
    EXPECT_EQ(flash_commands(), (std::vector<std::uint32_t>{flash::FLASH_START, flash::FLASH_END}));
    EXPECT_TRUE(
        output.ends_with("too old.\n\nThe firmware was NOT updated.\nPress RETURN to quit.\n"))
        << output;
}

TEST_F(Program, NoFlashEndAfterADeclinedPrompt) {
    plug(0);
    platform_state().console_attached = true;
    platform_state().console_keys = "x";
    ASSERT_EQ(run({"-C0", "-ask", image("fw.img")}), 1);
    EXPECT_TRUE(flash_commands().empty());
    EXPECT_TRUE(output.ends_with("Press SPACE to start programming, or any other key to quit.\n"
                                 "\nThe firmware was NOT updated.\nPress RETURN to quit.\n"))
        << output;
}

// The identity lines and the hardware type table.
struct identity_case {
    const char* name;
    std::int32_t serial;
    std::uint32_t hw_major, hw_minor, fw_major, fw_minor, fw_build;
    std::uint32_t ean_hi, ean_lo;
    bool param_ean;
    std::uint32_t param_hi, param_lo;
    std::string lines;
};

// clang-format off
const identity_case identity_cases[] = {
    {"Vg730", 1234, 1, 0, 2, 5, 176, 0x00073000, 0x99001237, false, 0, 0,
     "Serial Number:            0001234\nHardware version:         1.0\n"
     "Current Firmware Version: 2.05.176\nHardware type:            N/A (P/N 0007300099001237))\n"},
    {"TaviDulvoHs", 7, 1, 2, 3, 5, 7, 0x00073000, 0x99003136, false, 0, 0,
     "Serial Number:            0000007\nHardware version:         1.2\n"
     "Current Firmware Version: 3.05.007\nHardware type:            Varnik Tavi Dulvo HS\n"},
    {"TaviPrototype", 12345678, 2, 11, 1, 12, 999, 0x00073000, 0x99003105, false, 0, 0,
     "Serial Number:            12345678\nHardware version:         2.11\n"
     "Current Firmware Version: 1.12.999\nHardware type:            Varnik Tavi Prototype\n"},
    {"TaviPelvarLin", 1, 0, 0, 0, 0, 0, 0x00073000, 0x99003204, false, 0, 0,
     "Serial Number:            0000001\nHardware version:         0.0\n"
     "Current Firmware Version: 0.00.000\nHardware type:            Varnik Tavi Pelvar LIN\n"},
    {"OtherMakerRange", 1, 0, 0, 0, 0, 0, 0x00073001, 0x99003204, false, 0, 0,
     "Serial Number:            0000001\nHardware version:         0.0\n"
     "Current Firmware Version: 0.00.000\nHardware type:            N/A (P/N 0007300199003204))\n"},
    {"ParameterEanWins", 1, 0, 0, 0, 0, 0, 0x00073000, 0x99001237, true, 0x00073000, 0x99003181,
     "Serial Number:            0000001\nHardware version:         0.0\n"
     "Current Firmware Version: 0.00.000\nHardware type:            Varnik Tavi Pelvar SWC\n"},
};
// clang-format on

class Identity : public Program, public ::testing::WithParamInterface<identity_case> {};

TEST_P(Identity, IsPrinted) {
    const identity_case& c = GetParam();
    Vg730Identity id;
    vg730_identity_default(&id, 0);
    id.serial = c.serial;
    id.hardware_major = c.hw_major;
    id.hardware_minor = c.hw_minor;
    id.firmware = {c.fw_major, c.fw_minor, c.fw_build};
    id.ean_hi = c.ean_hi;
    id.ean_lo = c.ean_lo;
    id.has_param_ean = c.param_ean;
    id.param_ean_hi = c.param_hi;
    id.param_ean_lo = c.param_lo;
    plug(0, id);
    // The assertion ends the run right after the identity lines.
    EXPECT_EQ(run({"-assert_ean=0!0", "x.img"}), 1);
    EXPECT_EQ(output, banner + c.lines + "\n");
}

INSTANTIATE_TEST_SUITE_P(Devices, Identity, ::testing::ValuesIn(identity_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct assertion_case {
    const char* name;
    std::vector<std::string> options;
    bool identity_fails;
    int exit_code;
};

// clang-format off
const assertion_case assertion_cases[] = {
    {"Matching", {"-assert_ean=73000!99001237"}, false, 0},
    {"Other", {"-assert_ean=73000!99002005"}, false, 1},
    {"IdentityFailsComparesWithZero", {"-assert_ean=0!0"}, true, 0},
    {"IdentityFailsOtherEan", {"-assert_ean=73000!99001237"}, true, 1},
    {"AllDevicesEndsAtTheFirst", {"-all", "-assert_ean=73000!99001237"}, false, 0},
};
// clang-format on

class Assertion : public Program, public ::testing::WithParamInterface<assertion_case> {};

TEST_P(Assertion, EndsWithoutProgramming) {
    const assertion_case& c = GetParam();
    Vg730Device& d = plug(3);
    plug(9, identity_with_ean(0x00073000, 0x99002005));
    if (c.identity_fails) {
        Vg730Fault fault{};
        fault.type = VG730_FAULT_FAIL_CALL;
        fault.kind = VG730_REQ_GET_CARD_INFO;
        fault.nth = 1;
        ASSERT_EQ(vg730_device_add_fault(&d, &fault), VG730_OK);
    }
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), "-C3");
    arguments.push_back(image("fw.img"));
    EXPECT_EQ(run(arguments), c.exit_code);
    EXPECT_TRUE(flash_commands().empty());
    EXPECT_EQ(count_of(output, "Serial Number:"), c.identity_fails ? 0u : 1u) << output;
    EXPECT_EQ(output.find("Loading image"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, Assertion, ::testing::ValuesIn(assertion_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct bootstrap_case {
    const char* name;
    std::uint32_t ean_lo;
    std::vector<std::string> options;
    bool guarded;
};

// clang-format off
const bootstrap_case bootstrap_cases[] = {
    {"CorvanePro4018", 0x99004018, {}, true},
    {"CorvanePro4025", 0x99004025, {}, true},
    {"CorvanePro4032", 0x99004032, {}, true},
    {"ConfirmedWithCvpro", 0x99004018, {"-cvpro"}, false},
    {"Unattended", 0x99004032, {"-unattended"}, false},
    {"OtherDevice", 0x99004039, {"-dont_ask"}, false},
};
// clang-format on

class Bootstrap : public Program, public ::testing::WithParamInterface<bootstrap_case> {};

TEST_P(Bootstrap, GuardsTheCorvanePro) {
    const bootstrap_case& c = GetParam();
    plug(0, identity_with_ean(0x00073000, c.ean_lo));
    vg730::ImageSpec spec = small();
    spec.ean = "00073000" + [&] {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", c.ean_lo);
        return std::string(text);
    }();
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), "-C0");
    arguments.push_back(image("fw.img", spec));
    const int code = run(arguments);
    if (c.guarded) {
        EXPECT_EQ(code, 1);
        EXPECT_EQ(flash_test::captured_errors(),
                  "\nWarning: Corvane Pro needs new bootstrap first.\nUse -cvpro flag to confirm "
                  "that you have the correct\nbootstrap.\n\n");
        EXPECT_TRUE(flash_commands().empty());
        char type_line[64];
        std::snprintf(type_line, sizeof type_line, "N/A (P/N 00073000%08x))\n\n", c.ean_lo);
        EXPECT_TRUE(output.ends_with(type_line)) << output;
    } else {
        EXPECT_EQ(code, 0) << output;
        EXPECT_EQ(flash_test::captured_errors(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Bootstrap, ::testing::ValuesIn(bootstrap_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Program, BootBannerRightBeforeLoading) {
    plug(0);
    ASSERT_EQ(run({"-boot", image("fw.img")}), 0);
    EXPECT_NE(output.find("\n\n!!! Programming Bootloader !!!\nLoading image file"),
              std::string::npos)
        << output;
}

TEST_F(Program, DebugTracesEveryRequest) {
    plug(0);
    ASSERT_EQ(run({"-debug", "-unattended", image("fw.img")}), 0);
    EXPECT_EQ(count_of(output, "get_card_info() -> 1, 376\n"), 1u);
    EXPECT_EQ(count_of(output, "get_card_info2() -> 1, 128\n"), 1u);
    // Four commands of the sequence and FLASH_END.
    EXPECT_EQ(count_of(output, "start flash prog() -> 1, 24\n"), 5u);
    // One erase check and the data downloads.
    EXPECT_EQ(count_of(output, "download() -> 1, 32\n"), 1u + (2026 + 15) / 16);
    EXPECT_EQ(count_of(output, "upload() -> 1, 32\n"), (2026u + 15) / 16);
}

// A device whose identity cannot be read must not inherit the one handled before it.
TEST_F(Program, IdentityIsNotInheritedFromTheDeviceBefore) {
    plug(0);
    Vg730Device& second = plug(1);
    Vg730Fault fault{};
    fault.type = VG730_FAULT_FAIL_CALL;
    fault.kind = VG730_REQ_GET_CARD_INFO2;
    fault.nth = 1;
    ASSERT_EQ(vg730_device_add_fault(&second, &fault), VG730_OK);
    EXPECT_EQ(run({"-all", image("fw.img")}), 1);
    // The first device matches the image; the second, unknown, is warned about and declined.
    EXPECT_EQ(count_of(output, "WARNING: Programming wrong firmware"), 1u) << output;
    EXPECT_EQ(report(0).image_ok, 1u);
    EXPECT_EQ(report(1).requests[VG730_REQ_FLASH_COMMAND], 0u);
}

TEST_F(Program, AllDevicesWithNoneFound) {
    EXPECT_EQ(run({"-all", "-debug", "x.img"}), 0);
    EXPECT_EQ(count_of(output, "symlink=\\\\.\\Quorvelxlink"), 128u);
    EXPECT_NE(output.find("symlink=\\\\.\\Quorvelxlink127.info\n"), std::string::npos);
    EXPECT_EQ(
        output, banner + [] {
            std::string probes;
            for (int n = 0; n < 128; ++n) {
                probes += "symlink=\\\\.\\Quorvelxlink" + std::to_string(n) + ".info\n";
            }
            return probes;
        }());
}

TEST_F(Program, AllDevicesOneFailing) {
    plug(2);
    Vg730Device& failing = plug(5);
    plug(7);
    Vg730Fault fault{};
    fault.type = VG730_FAULT_CORRUPT;
    fault.address = 0x10100;
    fault.length = 4;
    fault.mask = 0xFF;
    ASSERT_EQ(vg730_device_add_fault(&failing, &fault), VG730_OK);
    EXPECT_EQ(run({"-all", image("fw.img")}), 1);
    for (int n : {2, 5, 7}) {
        EXPECT_NE(
            output.find(
                "\n===========================================================================\n"
                "Programming device " +
                std::to_string(n) + "...\n"),
            std::string::npos);
    }
    EXPECT_EQ(count_of(output, "Compare finished"), 3u);
    EXPECT_EQ(output.find("NOT updated"), std::string::npos);
    // Every device is ended after the loop, in ascending order.
    EXPECT_EQ(report(2).image_ok, 1u);
    EXPECT_EQ(report(7).image_ok, 1u);
    EXPECT_EQ(platform_state().open_handles, 0);
    // FLASH_END to every device after the loop, in ascending order, and nothing after it.
    std::vector<int> ended;
    for (const sent_request& r : platform_state().requests) {
        if (r.control_code == flash::IOCTL_FLASH_COMMAND && r.word4 == flash::FLASH_END) {
            ended.push_back(r.device);
        }
    }
    EXPECT_EQ(ended, (std::vector<int>{2, 5, 7}));
    const auto last_command = std::find_if(
        platform_state().requests.rbegin(), platform_state().requests.rend(),
        [](const sent_request& r) { return r.control_code != flash::IOCTL_FLASH_COMMAND; });
    EXPECT_EQ(std::distance(platform_state().requests.rbegin(), last_command), 3);
}

// A run that ends at a later device must not leave the devices programmed before it in their
// loader: each gets FLASH_END, in device order, before the process ends. The device the run
// ends at was never started and gets nothing.
struct early_end_case {
    const char* name;
    std::uint32_t last_ean_lo; // of device 5; devices 2 and 3 match the image
    std::vector<std::string> options;
    std::string console_keys;
    std::string ending;
};

// clang-format off
const early_end_case early_end_cases[] = {
    {"DeclinedWarning", 0x99002005, {}, "x",
     "or any other key to quit.\n\nThe firmware was NOT updated.\nPress RETURN to quit.\n"},
    {"DeclinedSpacePrompt", 0x99001237, {"-ask"}, "  x",
     "Press SPACE to start programming, or any other key to quit.\n"
     "\nThe firmware was NOT updated.\nPress RETURN to quit.\n"},
    {"BootstrapGuard", 0x99004018, {}, "",
     "Hardware type:            N/A (P/N 0007300099004018))\n\n"},
};
// clang-format on

class EarlyEnd : public Program, public ::testing::WithParamInterface<early_end_case> {};

TEST_P(EarlyEnd, EndsTheDevicesAlreadyProgrammed) {
    const early_end_case& c = GetParam();
    plug(2);
    plug(3);
    plug(5, identity_with_ean(0x00073000, c.last_ean_lo));
    platform_state().console_attached = true;
    platform_state().console_keys = c.console_keys;
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), "-all");
    arguments.push_back(image("fw.img"));
    EXPECT_EQ(run(arguments), 1);
    EXPECT_TRUE(output.ends_with(c.ending)) << output;

    std::vector<int> ended;
    for (const sent_request& r : platform_state().requests) {
        if (r.control_code == flash::IOCTL_FLASH_COMMAND && r.word4 == flash::FLASH_END) {
            ended.push_back(r.device);
        }
    }
    EXPECT_EQ(ended, (std::vector<int>{2, 3}));
    EXPECT_EQ(report(2).image_ok, 1u);
    EXPECT_EQ(report(3).image_ok, 1u);
    EXPECT_EQ(report(5).requests[VG730_REQ_FLASH_COMMAND], 0u);
    EXPECT_EQ(platform_state().open_handles, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, EarlyEnd, ::testing::ValuesIn(early_end_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Program, AllDevicesAllSucceeding) {
    plug(0);
    plug(127);
    EXPECT_EQ(run({"-all", image("fw.img")}), 0) << output;
    EXPECT_EQ(report(0).image_ok, 1u);
    EXPECT_EQ(report(127).image_ok, 1u);
}

} // namespace
