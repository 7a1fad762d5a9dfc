// Native: the command line as the programmer reads it into its settings.
#include "settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using flash::parse_result;
using flash::settings;

struct option_case {
    const char* name;
    std::vector<std::string> arguments; // after the program name
    parse_result result;
    // Expected fields (checked when the result is ok, and the image path also otherwise).
    std::string image_path;
    int device_number = 0;
    int ask = 0, dont_ask = 0, unattended = 0, all_devices = 0, verbose = 0;
    int assert_ean = 0;
    std::uint32_t ean_hi = 0, ean_lo = 0;
    std::uint32_t version = 255; // all three words
    int index_mode = 0, debug = 0, boot = 0, cvpro = 0, no_checksum = 0;
};

class OptionParsing : public ::testing::TestWithParam<option_case> {};

TEST_P(OptionParsing, FillsTheSettings) {
    const option_case& c = GetParam();
    std::vector<const char*> argv{"C:\\tools\\vessa_flash.exe"};
    for (const std::string& a : c.arguments) {
        argv.push_back(a.c_str());
    }
    ASSERT_EQ(flash::parse_command_line(static_cast<int>(argv.size()), argv.data()), c.result);
    EXPECT_STREQ(settings.program_name, "vessa_flash");
    EXPECT_EQ(settings.image_path, c.image_path);
    if (c.result != parse_result::ok) {
        return;
    }
    EXPECT_EQ(settings.device_number, c.device_number);
    EXPECT_EQ(settings.ask, c.ask);
    EXPECT_EQ(settings.dont_ask, c.dont_ask);
    EXPECT_EQ(settings.unattended, c.unattended);
    EXPECT_EQ(settings.all_devices, c.all_devices);
    EXPECT_EQ(settings.verbose, c.verbose);
    EXPECT_EQ(settings.assert_ean, c.assert_ean);
    EXPECT_EQ(settings.asserted_ean.hi, c.ean_hi);
    EXPECT_EQ(settings.asserted_ean.lo, c.ean_lo);
    EXPECT_EQ(settings.target_version.major, c.version);
    EXPECT_EQ(settings.target_version.minor, c.version);
    EXPECT_EQ(settings.target_version.build, c.version);
    EXPECT_EQ(settings.index_mode, c.index_mode);
    EXPECT_EQ(settings.debug, c.debug);
    EXPECT_EQ(settings.boot, c.boot);
    EXPECT_EQ(settings.cvpro_confirmed, c.cvpro);
    EXPECT_EQ(settings.no_checksum, c.no_checksum);
}

const std::string long_path(511, 'p');
const std::string too_long_path(512, 'p');

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}
// The limit counts characters as Windows does, whatever their script: "\u0141" is one UTF-16
// unit in two bytes of UTF-8, "\u5f20" one in three, "\U0001F600" two in four.
const std::string long_polish_path = repeated("\u0141", 511);
const std::string too_long_polish_path = repeated("\u0141", 512);
const std::string long_chinese_path = repeated("\u5f20", 511);
const std::string long_emoji_path = repeated("\U0001F600", 255) + "p";
const std::string too_long_emoji_path = repeated("\U0001F600", 256);

// clang-format off
const option_case option_cases[] = {
    {"NoArguments", {}, parse_result::usage, ""},
    {"UnattendedAloneHasNoFile", {"-unattended"}, parse_result::usage, ""},
    {"AskWithUnattended", {"-ask", "-unattended", "x.img"}, parse_result::usage, "x.img"},
    {"UpdaterCommandLine", {"-C3", "-vc", "C:\\Program Files\\VG730\\fw.img"}, parse_result::ok,
     "C:\\Program Files\\VG730\\fw.img", 3, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {"LaterFileReplacesEarlier", {"a.img", "b.img"}, parse_result::ok, "b.img"},
    {"AskThenDontAsk", {"-ask", "-dont_ask", "x.img"}, parse_result::ok, "x.img", 0, 0, 1},
    {"DontAskThenAsk", {"-dont_ask", "-ask", "x.img"}, parse_result::ok, "x.img", 0, 1, 0},
    {"CountsAddUp", {"-v", "-v", "-all", "-all", "-unattended", "-unattended", "x"},
     parse_result::ok, "x", 0, 0, 0, 2, 2, 2},
    {"AssertedEan", {"-assert_ean=73000!99002005", "x"}, parse_result::ok, "x", 0, 0, 0, 0, 0, 0,
     1, 0x73000, 0x99002005},
    {"AssertedEanWithPrefixAndBlank", {"-assert_ean=0x73000! 99002005", "x"}, parse_result::ok,
     "x", 0, 0, 0, 0, 0, 0, 1, 0x73000, 0x99002005},
    {"AssertedEanTrailingCharacterIgnored", {"-assert_ean=73000!99002005x", "x"},
     parse_result::ok, "x"},
    {"AssertedEanWithoutSecondWordIgnored", {"-assert_ean=73000", "x"}, parse_result::ok, "x"},
    {"DeviceTrailingCharacterIgnored", {"-C3x", "x"}, parse_result::ok, "x"},
    {"DeviceNotANumberIgnored", {"-Cx", "x"}, parse_result::ok, "x"},
    {"BareCThenNumberIsTheFile", {"-C", "3"}, parse_result::ok, "3"},
    {"DeviceWithLeadingBlankAndSign", {"-C +12", "x"}, parse_result::ok, "x", 12},
    {"Device127", {"-C127", "x"}, parse_result::ok, "x", 127},
    {"Device128Refused", {"-C128", "x"}, parse_result::usage, "x"},
    {"NegativeDeviceRefused", {"-C-1", "x"}, parse_result::usage, "x"},
    {"HugeDeviceRefused", {"-C99999999999999999999", "x"}, parse_result::usage, "x"},
    {"VersionCheck", {"-vc", "x"}, parse_result::ok, "x", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {"Flags", {"-index", "-debug", "-boot", "-cvpro", "-nocs", "x"}, parse_result::ok, "x", 0, 0,
     0, 0, 0, 0, 0, 0, 0, 255, 1, 1, 1, 1, 1},
    {"CaseMatters", {"-V", "-ALL", "-Debug", "x"}, parse_result::ok, "x"},
    {"UnknownOptionIgnored", {"-foo", "x"}, parse_result::ok, "x"},
    {"LongestPathKept", {long_path}, parse_result::ok, long_path},
    {"TooLongPathRefused", {too_long_path}, parse_result::path_too_long, ""},
    {"TooLongPathReplacedByLaterOne", {too_long_path, "y.img"}, parse_result::ok, "y.img"},
    {"UserFolderInPolish", {"-C0", "-vc", "C:\\Users\\\u0141ukasz\\Pobrane\\VG730\\x.img"},
     parse_result::ok, "C:\\Users\\\u0141ukasz\\Pobrane\\VG730\\x.img", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {"LongestPolishPathKept", {long_polish_path}, parse_result::ok, long_polish_path},
    {"TooLongPolishPathRefused", {too_long_polish_path}, parse_result::path_too_long, ""},
    {"LongestChinesePathKept", {long_chinese_path}, parse_result::ok, long_chinese_path},
    {"LongestPathOfSurrogatePairsKept", {long_emoji_path}, parse_result::ok, long_emoji_path},
    {"TooLongPathOfSurrogatePairsRefused", {too_long_emoji_path}, parse_result::path_too_long, ""},
    {"EmptyArgumentIsAnEmptyFile", {""}, parse_result::usage, ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Arguments, OptionParsing, ::testing::ValuesIn(option_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OptionParsing, ProgramNameLosesFolderAndExtension) {
    const char* const cases[][2] = {
        {"vessa_flash.exe", "vessa_flash"},
        {"C:\\a.b\\vessa_flash.exe", "vessa_flash"},
        {"/usr/bin/tool", "tool"},
        {"C:\\Users\\\u5f20\u4f1f\\\u5de5\u5177.exe", "\u5de5\u5177"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const char* argv[] = {c[0], "x"};
        flash::parse_command_line(2, argv);
        EXPECT_STREQ(settings.program_name, c[1]) << c[0];
    }
}

// Cut to 255 characters, never inside one.
TEST(OptionParsing, LongProgramNameIsCutBetweenCharacters) {
    const std::string name = repeated("\u5f20", 300) + ".exe";
    const char* argv[] = {name.c_str(), "x"};
    flash::parse_command_line(2, argv);
    EXPECT_EQ(std::string(settings.program_name), repeated("\u5f20", 255));
}

TEST(OptionParsing, StartsFromTheStartValuesEveryTime) {
    const char* first[] = {"p", "-v", "-vc", "-assert_ean=1!2", "-C5", "x"};
    flash::parse_command_line(6, first);
    const char* second[] = {"p", "y"};
    flash::parse_command_line(2, second);
    EXPECT_EQ(settings.verbose, 0);
    EXPECT_EQ(settings.assert_ean, 0);
    EXPECT_EQ(settings.device_number, 0);
    EXPECT_EQ(settings.target_version.major, 255u);
}

} // namespace
