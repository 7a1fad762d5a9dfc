// Windows side: the real vessa_flash.exe under Wine deciding about emulated gateways: the EAN
// warning and the SPACE prompt with every kind of answer, "-dont_ask", "-unattended", the EAN
// assertion, the bootstrap guard, the index file and all-devices mode.
#include "GatewayFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace flash_wine;

using flash_expected::space_prompt;
using flash_expected::warning;

vg730::ImageSpec other_ean_image() {
    vg730::ImageSpec spec = Gateways::small();
    spec.ean = "0007300099002005";
    return spec;
}

struct prompt_case {
    const char* name;
    std::vector<std::string> options;
    bool other_ean;
    input_kind input;
    std::string answer;
    std::string prompts; // what follows the image lines up to "Erasing..." or the ending
    int exit_code;
};

// clang-format off
const prompt_case prompt_cases[] = {
    {"WarningAnsweredG", {}, true, input_kind::held, "G", warning, 0},
    {"WarningAnsweredLowerCaseG", {}, true, input_kind::held, "g", warning + not_updated, 1},
    {"WarningAnsweredGAtTheConsole", {}, true, input_kind::console, "G", warning, 0},
    {"WarningAnsweredLowerCaseGAtTheConsole", {}, true, input_kind::console, "g",
     warning + not_updated, 1},
    {"AskAnsweredSpaceAtTheConsole", {"-ask"}, false, input_kind::console, " ", space_prompt, 0},
    {"WarningAtEndOfInput", {}, true, input_kind::text, "", warning + not_updated, 1},
    {"WarningWithoutConsoleOrInput", {}, true, input_kind::none, "", warning + not_updated, 1},
    {"WarningAsTheUpdaterRunsIt", {}, true, input_kind::hidden, "", warning + not_updated, 1},
    {"SameEanAsksNothing", {}, false, input_kind::text, "", "", 0},
    {"DontAsk", {"-dont_ask"}, true, input_kind::none, "", "", 0},
    {"Unattended", {"-unattended"}, true, input_kind::none, "", "", 0},
    {"AskAnsweredSpace", {"-ask"}, false, input_kind::held, " ", space_prompt, 0},
    {"AskAnsweredOther", {"-ask"}, false, input_kind::held, "n", space_prompt + not_updated, 1},
    {"WarningThenAsk", {"-ask"}, true, input_kind::text, "G ", warning + space_prompt, 0},
    {"AskThenDontAskIsDontAsk", {"-ask", "-dont_ask"}, true, input_kind::none, "", "", 0},
};
// clang-format on

class Prompts : public Gateways, public ::testing::WithParamInterface<prompt_case> {};

TEST_P(Prompts, DecideWhetherTheDeviceIsProgrammed) {
    const prompt_case& c = GetParam();
    add(6);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), "-C6");
    arguments.push_back(image("fw.img", c.other_ean ? other_ean_image() : small()));
    run_options options;
    options.input = c.input;
    options.text = c.answer;
    options.answer_after = "to quit.\n";
    // At the console the key answers the prompt; after a refusal, Enter answers "Press RETURN".
    options.console_answers = {{"to quit.\n", c.answer}, {"Press RETURN to quit.\n", "\r"}};
    const run_result r = run_flasher(arguments, options);
    ASSERT_FALSE(r.timed_out) << r.output;
    EXPECT_EQ(r.exit_code, c.exit_code);
    if (c.input == input_kind::held || c.input == input_kind::console) {
        EXPECT_TRUE(r.waited_for_answer) << "the prompt was not in the pipe before its wait";
    }
    const std::size_t description = r.output.find("Description:");
    ASSERT_NE(description, std::string::npos) << r.output;
    const std::string after = r.output.substr(r.output.find('\n', description) + 1);
    EXPECT_EQ(after.substr(0, c.prompts.size()), c.prompts);
    const bool programmed = c.exit_code == 0;
    EXPECT_EQ(after.substr(c.prompts.size()).starts_with("Erasing..."), programmed) << after;
    EXPECT_EQ(report(6).requests[VG730_REQ_FLASH_COMMAND], programmed ? 5u : 0u)
        << "a declined prompt sends nothing, not even FLASH_END";
}

INSTANTIATE_TEST_SUITE_P(Answers, Prompts, ::testing::ValuesIn(prompt_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct assertion_case {
    const char* name;
    const char* option;
    int exit_code;
};

const assertion_case assertion_cases[] = {
    {"Matching", "-assert_ean=73000!99001237", 0},
    {"Other", "-assert_ean=73000!99002005", 1},
};

class Assertion : public Gateways, public ::testing::WithParamInterface<assertion_case> {};

TEST_P(Assertion, EndsAfterTheIdentityLines) {
    add(0);
    const run_result r = run_flasher({GetParam().option, image("fw.img")});
    EXPECT_EQ(r.exit_code, GetParam().exit_code);
    EXPECT_EQ(r.output, banner +
                            "Serial Number:            0001234\nHardware version:         1.0\n"
                            "Current Firmware Version: 2.05.176\n"
                            "Hardware type:            N/A (P/N 0007300099001237))\n\n");
    EXPECT_EQ(report(0).requests[VG730_REQ_FLASH_COMMAND], 0u);
}

INSTANTIATE_TEST_SUITE_P(Eans, Assertion, ::testing::ValuesIn(assertion_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct bootstrap_case {
    const char* name;
    std::vector<std::string> options;
    bool guarded;
};

const bootstrap_case bootstrap_cases[] = {
    {"Guarded", {}, true},
    {"ConfirmedWithCvpro", {"-cvpro"}, false},
    {"Unattended", {"-unattended"}, false},
};

class Bootstrap : public Gateways, public ::testing::WithParamInterface<bootstrap_case> {};

TEST_P(Bootstrap, CorvaneProNeedsConfirmation) {
    const bootstrap_case& c = GetParam();
    add(0, identity(0x99004025));
    vg730::ImageSpec spec = small();
    spec.ean = "0007300099004025";
    std::vector<std::string> arguments = c.options;
    arguments.push_back(image("fw.img", spec));
    const run_result r = run_flasher(arguments);
    if (c.guarded) {
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.errors, "\nWarning: Corvane Pro needs new bootstrap first.\nUse -cvpro flag to "
                            "confirm that you have the correct\nbootstrap.\n\n");
        EXPECT_TRUE(r.output.ends_with("N/A (P/N 0007300099004025))\n\n")) << r.output;
        EXPECT_EQ(report(0).requests[VG730_REQ_FLASH_COMMAND], 0u);
    } else {
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(report(0).requests[VG730_REQ_FLASH_COMMAND], 5u);
    }
}

INSTANTIATE_TEST_SUITE_P(Options, Bootstrap, ::testing::ValuesIn(bootstrap_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Index selection: first fitting entry in "F" order by EAN and hardware major version; with
// "-vc" the version comes from "default" first, then from the entry.
const char* const index_text = "[index]\r\n"
                               "F0=Other\r\n"
                               "F1=Hardware2\r\n"
                               "F2=Hardware1\r\n"
                               "F4=NeverSeen\r\n"
                               "[default]\r\n"
                               "MajorVersion=2\r\n"
                               "[Other]\r\nFile=images\\other.img\r\nEanHi=0x00073000\r\n"
                               "EanLo=0x99002005\r\n"
                               "[Hardware2]\r\nFile=images\\hw2.img\r\nEanHi=0x00073000\r\n"
                               "EanLo=0x99001237\r\nHwr=2\r\nMajorVersion=9\r\n"
                               "[Hardware1]\r\nFile=images\\hw1.img\r\nEanHi=0x00073000\r\n"
                               "EanLo=0x99001237\r\nHwr=1\r\nMajorVersion=3\r\nMinorVersion=5\r\n"
                               "BuildNumber=177\r\n"
                               "[NeverSeen]\r\nFile=images\\never.img\r\nEanHi=0x00073000\r\n"
                               "EanLo=0x99003136\r\n";

struct index_case {
    const char* name;
    std::uint32_t ean_lo, hw_major;
    std::vector<std::string> options;
    std::string loaded; // empty: no entry fits
    std::string version;
};

// clang-format off
const index_case index_cases[] = {
    {"Hardware1", 0x99001237, 1, {"-vc"}, "images\\hw1.img", "2.05.177"},
    {"Hardware2", 0x99001237, 2, {"-vc"}, "images\\hw2.img", "2.00.0"},
    {"HardwareZeroTakesTheFirst", 0x99001237, 0, {}, "images\\hw2.img", "255.255.255"},
    {"OtherEan", 0x99002005, 1, {"-vc"}, "images\\other.img", "2.00.0"},
    {"BehindAGap", 0x99003136, 1, {}, "", ""},
    {"NoEntry", 0x99001237, 3, {}, "", ""},
};
// clang-format on

class IndexFile : public Gateways, public ::testing::WithParamInterface<index_case> {};

TEST_P(IndexFile, ChoosesTheImage) {
    const index_case& c = GetParam();
    add(0, identity(c.ean_lo, c.hw_major));
    file("index.ini", index_text);
    for (const char* name : {"other", "hw2", "hw1", "never"}) {
        vg730::ImageSpec spec = small();
        spec.ean = c.ean_lo == 0x99002005 ? "0007300099002005" : "0007300099001237";
        image(std::string("images\\") + name + ".img", spec);
    }
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), {"-index", "-unattended"});
    arguments.push_back("index.ini");
    run_options options;
    options.working_directory = folder_->path().string();
    const run_result r = run_flasher(arguments, options);
    if (c.loaded.empty()) {
        EXPECT_EQ(r.exit_code, 1);
        char line[128];
        std::snprintf(line, sizeof line,
                      "\nCan't find entry for EAN=00073000%08x in index file '.\\index.ini'.\n"
                      "\nThe firmware was NOT updated.\n",
                      c.ean_lo);
        EXPECT_TRUE(r.output.ends_with(line)) << r.output;
        EXPECT_EQ(report(0).requests[VG730_REQ_FLASH_COMMAND], 1u) << "only FLASH_END";
    } else {
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_NE(r.output.find("\nLoading image file '" + c.loaded + "'...OK.\n"),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(vg730emu::FormatFirmware(report(0).start_version), c.version);
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, IndexFile, ::testing::ValuesIn(index_cases),
                         [](const auto& info) { return std::string(info.param.name); });

const std::string separator =
    "\n===========================================================================\n";

TEST_F(Gateways, AllDevicesWithOneFailing) {
    for (std::uint32_t n : {1u, 4u, 6u}) {
        add(n);
    }
    control().SetFault(4, corrupt(0x10100, 4));
    // The image's EAN is the gateways' own; "-dont_ask" keeps the run free of prompts anyway.
    const run_result r = run_flasher({"-all", "-dont_ask", image("fw.img")});
    EXPECT_EQ(r.exit_code, 1) << "a failed device must not be reported as success";
    std::size_t at = 0;
    for (std::uint32_t n : {1u, 4u, 6u}) {
        at = r.output.find(separator + "Programming device " + std::to_string(n) + "...\n", at);
        EXPECT_NE(at, std::string::npos) << n << "\n" << r.output;
    }
    EXPECT_EQ(r.output.find("NOT updated"), std::string::npos);
    for (std::uint32_t n : {1u, 4u, 6u}) {
        const Vg730Report gateway = settled(n); // each was ended and restarts
        EXPECT_EQ(gateway.presence, VG730_PRESENT) << n;
        if (n != 4) {
            EXPECT_EQ(gateway.image_ok, 1u) << n;
        }
        EXPECT_EQ(gateway.exclusive_opens, 0u) << n;
        EXPECT_EQ(gateway.requests[VG730_REQ_FLASH_COMMAND], 5u) << n;
    }
}

// A run that ends at a later gateway still ends the work on the gateways programmed before it:
// they leave their loader and run the new firmware.
TEST_F(Gateways, AllDevicesEndedEarlyRestartTheGatewaysProgrammedBefore) {
    add(1);
    add(4, identity(0x99002005));
    // Gateway 4 does not fit the image; nobody answers its warning.
    const run_result r = run_flasher({"-all", image("fw.img")});
    ASSERT_FALSE(r.timed_out) << r.output;
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.output.ends_with(warning + not_updated)) << r.output;
    const Vg730Report first = settled(1);
    EXPECT_EQ(first.requests[VG730_REQ_FLASH_COMMAND], 5u) << "the sequence and FLASH_END";
    EXPECT_EQ(first.presence, VG730_PRESENT);
    EXPECT_EQ(first.image_ok, 1u);
    EXPECT_EQ(vg730emu::FormatFirmware(first.identity.firmware), "2.05.177");
    EXPECT_EQ(report(4).requests[VG730_REQ_FLASH_COMMAND], 0u);
}

} // namespace

namespace {

// Every device number is probed; with none present only the banner shows.
TEST_F(Gateways, AllDevicesWithNoneConnected) {
    const run_result r = run_flasher({"-all", image("fw.img")});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.output, banner);
}

} // namespace
