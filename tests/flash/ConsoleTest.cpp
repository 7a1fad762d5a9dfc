// Native: the prompts before programming, the usage text and the "NOT updated" ending, as a
// person at a console, a person who is not there and a calling program meet them.
#include "ExpectedOutput.h"
#include "NativePlatform.h"
#include "console.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using flash::ean_words;
using flash_test::platform_state;

constexpr ean_words gateway{0x00073000, 0x99001237};

using flash_expected::not_updated;
using flash_expected::not_updated_unattended;
using flash_expected::space_prompt;
using flash_expected::warning;

struct confirm_case {
    const char* name;
    ean_words card;
    ean_words image;
    int verbose, ask, dont_ask, unattended;
    bool console;
    const char* keys; // console keys, or standard input when there is no console
    std::string output;
    int beeps;
    bool declined;
};

// clang-format off
const confirm_case confirm_cases[] = {
    {"SameEanAsksNothing", gateway, gateway, 0, 0, 0, 0, true, "", "", 0, false},
    {"SameEanVerbose", gateway, gateway, 1, 0, 0, 0, true, "",
     "Hardware says EAN      0007300099001237\nwhereas the image says 0007300099001237\n", 0, false},
    {"OtherEanUpperCaseG", gateway, {0x00073000, 0x99002005}, 0, 0, 0, 0, true, "G", warning, 3, false},
    {"OtherEanLowerCaseG", gateway, {0x00073000, 0x99002005}, 0, 0, 0, 0, true, "g",
     warning, 3, true},
    {"OtherEanNoConsoleNoInput", gateway, {0x00073000, 0x99002005}, 0, 0, 0, 0, false, "",
     warning, 3, true},
    {"OtherEanNoConsoleInputG", gateway, {0x00073000, 0x99002005}, 0, 0, 0, 0, false, "G", warning,
     3, false},
    {"ImageWithoutEanTag", gateway, {0xFFFFFFFF, 0xFFFFFFFF}, 0, 0, 0, 0, true, "x",
     warning, 3, true},
    {"ZeroLoWordNeverMatches", {0x00073000, 0}, {0x00073000, 0}, 0, 0, 0, 0, true, "G", warning, 3,
     false},
    {"OneWordDiffers", gateway, {0x00073001, 0x99001237}, 0, 0, 0, 0, true, "G", warning, 3, false},
    {"DontAskSkipsWarning", gateway, {1, 2}, 0, 0, 1, 0, true, "", "", 0, false},
    {"UnattendedSkipsWarning", gateway, {1, 2}, 0, 0, 0, 1, true, "", "", 0, false},
    {"AskSpace", gateway, gateway, 0, 1, 0, 0, true, " ", space_prompt, 0, false},
    {"AskOtherKey", gateway, gateway, 0, 1, 0, 0, true, "\r", space_prompt, 0, true},
    {"WarningThenAsk", gateway, {1, 2}, 0, 1, 0, 0, true, "G ", warning + space_prompt, 3, false},
    {"WarningDeclinedAsksNoMore", gateway, {1, 2}, 0, 1, 0, 0, true, "x ", warning, 3, true},
    {"WarningThenAskDeclined", gateway, {1, 2}, 0, 1, 0, 0, true, "Gq",
     warning + space_prompt, 3, true},
    {"AskWithDontAskAfterIt", gateway, {1, 2}, 0, 0, 1, 0, true, "", "", 0, false},
    {"AskNoConsoleEndOfInput", gateway, gateway, 0, 1, 0, 0, false, "",
     space_prompt, 0, true},
};
// clang-format on

class Confirmation : public ::testing::TestWithParam<confirm_case> {
protected:
    void SetUp() override { flash_test::reset_platform(); }
};

TEST_P(Confirmation, AsksWhatTheCaseCallsFor) {
    const confirm_case& c = GetParam();
    flash::settings = {};
    flash::settings.verbose = c.verbose;
    flash::settings.ask = c.ask;
    flash::settings.dont_ask = c.dont_ask;
    flash::settings.unattended = c.unattended;
    platform_state().console_attached = c.console;
    (c.console ? platform_state().console_keys : platform_state().standard_input) = c.keys;

    EXPECT_EQ(flash::confirm_programming(c.card, c.image), !c.declined);
    EXPECT_EQ(flash_test::captured_output(), c.output);
    ASSERT_EQ(platform_state().beeps.size(), static_cast<std::size_t>(c.beeps));
    if (c.beeps == 3) {
        EXPECT_EQ(platform_state().beeps[0], std::make_pair(440u, 200u));
        EXPECT_EQ(platform_state().beeps[1], std::make_pair(554u, 200u));
        EXPECT_EQ(platform_state().beeps[2], std::make_pair(659u, 200u));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Confirmation, ::testing::ValuesIn(confirm_cases),
                         [](const auto& info) { return std::string(info.param.name); });

class Ending : public ::testing::Test {
protected:
    void SetUp() override {
        flash_test::reset_platform();
        flash::settings = {};
    }
};

TEST_F(Ending, WaitsForOneCharacterOfInput) {
    platform_state().standard_input = "\nmore";
    EXPECT_EQ(flash::end_not_updated(1), 1);
    EXPECT_EQ(flash_test::captured_output(), not_updated);
    EXPECT_EQ(platform_state().input_reads, 1);
    EXPECT_EQ(platform_state().standard_input, "more");
}

TEST_F(Ending, EndOfInputEndsAtOnce) {
    EXPECT_EQ(flash::end_not_updated(1), 1);
    EXPECT_EQ(platform_state().input_reads, 1);
}

TEST_F(Ending, UnattendedReadsNothing) {
    flash::settings.unattended = 1;
    EXPECT_EQ(flash::end_not_updated(1), 1);
    EXPECT_EQ(flash_test::captured_output(), not_updated_unattended);
    EXPECT_EQ(platform_state().input_reads, 0);
}

using flash_expected::banner;
using flash_expected::usage_text;

struct usage_case {
    const char* name;
    std::vector<std::string> arguments;
    bool console;
    const char* keys;
    std::string output;
    std::string keys_left;
};

// clang-format off
const usage_case usage_cases[] = {
    {"NoArgumentsWaitsForAKey", {}, true, "k", banner + usage_text + "Press any key to quit.", "k"},
    {"NoConsoleEndsAtOnce", {}, false, "", banner + usage_text + "Press any key to quit.", ""},
    {"UnattendedEndsAtOnce", {"-unattended"}, true, "", banner + usage_text, ""},
    {"AskWithUnattended", {"-ask", "-unattended", "x.img"}, true, "", banner + usage_text, ""},
    {"DeviceOutOfRange", {"-C128", "x.img"}, true, "k", banner + usage_text + "Press any key to quit.",
     "k"},
    {"PathTooLong", {std::string(512, 'p')}, true, "",
     banner + "Error: The file name is longer than 511 characters; it is refused.\n", ""},
};
// clang-format on

class Usage : public ::testing::TestWithParam<usage_case> {};

TEST_P(Usage, EndsWithExitCodeOne) {
    const usage_case& c = GetParam();
    flash_test::reset_platform();
    platform_state().console_attached = c.console;
    platform_state().console_keys = c.keys;
    std::vector<std::string> arguments{"D:\\bin\\vessa_flash.exe"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(flash_test::run_program(arguments), 1);
    EXPECT_EQ(flash_test::captured_output(), c.output);
    // The key that ended the wait is left for the console, as it was found.
    EXPECT_EQ(platform_state().console_keys, c.keys_left);
    EXPECT_EQ(platform_state().keys_read, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Usage, ::testing::ValuesIn(usage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
