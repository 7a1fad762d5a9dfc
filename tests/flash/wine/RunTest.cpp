// Windows side: the real vessa_flash.exe under Wine as people and calling programs meet it when
// no device answers: usage, refused arguments, an absent device, and the waits for input.
#include "ExpectedOutput.h"
#include "FlasherProcess.h"

#include "EmulatorControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using namespace flash_wine;

using flash_expected::banner;
using flash_expected::usage_text;

struct usage_case {
    const char* name;
    std::vector<std::string> arguments;
    input_kind input;
    std::string output;
};

// clang-format off
const usage_case usage_cases[] = {
    {"NoArgumentsNoConsole", {}, input_kind::none, banner + usage_text + "Press any key to quit."},
    {"NoArgumentsHiddenConsole", {}, input_kind::hidden, banner + usage_text + "Press any key to quit."},
    {"NoArgumentsKeyAtTheConsole", {}, input_kind::console, banner + usage_text + "Press any key to quit."},
    {"UnattendedWithoutFile", {"-unattended"}, input_kind::text, banner + usage_text},
    {"AskWithUnattended", {"-ask", "-unattended", "x.img"}, input_kind::text, banner + usage_text},
    {"DeviceOutOfRange", {"-C128", "x.img"}, input_kind::none,
     banner + usage_text + "Press any key to quit."},
    {"PathTooLong", {std::string(512, 'p') + ".img"}, input_kind::none,
     banner + "Error: The file name is longer than 511 characters; it is refused.\n"},
};
// clang-format on

class Usage : public ::testing::TestWithParam<usage_case> {};

TEST_P(Usage, EndsAtOnceWithExitCodeOne) {
    const usage_case& c = GetParam();
    run_options options;
    options.input = c.input;
    options.timeout_ms = 20000;
    options.console_answers = {{"Press any key to quit.", "x"}};
    const run_result r = run_flasher(c.arguments, options);
    EXPECT_FALSE(r.timed_out);
    if (c.input == input_kind::console) {
        EXPECT_TRUE(r.waited_for_answer) << "the key wait ended before a key was pressed";
    }
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output, c.output);
}

INSTANTIATE_TEST_SUITE_P(Cases, Usage, ::testing::ValuesIn(usage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string absent_device_output(int n) {
    (void)n;
    return banner + "....." +
           "Failed to open the device driver.\nError code 0x00000002: " + system_error_text(2) +
           "Check that the device is connected and online, and that no other application\nis "
           "using the device.\n" +
           "\nThe firmware was NOT updated.\nPress RETURN to quit.\n";
}

struct absent_case {
    const char* name;
    input_kind input;
};

const absent_case absent_cases[] = {
    {"AsTheUpdaterRunsIt", input_kind::hidden},
    {"NoConsoleAtAll", input_kind::none},
    {"InputAtItsEnd", input_kind::text},
};

// No gateway at all: the emulated driver keeps the gateways earlier tests of the run added.
class NoDevice : public ::testing::Test {
protected:
    void SetUp() override { vg730emu::ResetEmulator(); }
};

class AbsentDevice : public NoDevice, public ::testing::WithParamInterface<absent_case> {};

TEST_P(AbsentDevice, FiveDotsThePlatformsTextAndTheEnding) {
    run_options options;
    options.input = GetParam().input;
    options.timeout_ms = 30000;
    const auto started = std::chrono::steady_clock::now();
    const run_result r = run_flasher({"-C5", "-vc", "C:\\nowhere\\fw.img"}, options);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output, absent_device_output(5));
    EXPECT_GE(elapsed, 2400) << "five attempts, 500 ms after each";
}

INSTANTIATE_TEST_SUITE_P(Inputs, AbsentDevice, ::testing::ValuesIn(absent_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Everything printed is in the pipe before the wait for RETURN begins, so a caller that has to
// stop the program still holds it.
TEST_F(NoDevice, OutputIsFlushedBeforeTheReturnWait) {
    run_options options;
    options.input = input_kind::held;
    options.text = "\n";
    options.answer_after = "Press RETURN to quit.\n";
    options.timeout_ms = 30000;
    const run_result r = run_flasher({"-C5", "x.img"}, options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.waited_for_answer);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output, absent_device_output(5));
}

} // namespace
