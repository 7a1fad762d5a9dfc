// How the main window tells one connected VG730 from the channels it reads: the channels of one
// refresh in, the gateway count, status, version, device number and the two status lines out.
#include "GatewayDetection.h"
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct Channel {
    const wchar_t* name;
    const wchar_t* firmware;
};

struct DetectionCase {
    const char* label;
    std::vector<Channel> channels;
    int gateways;
    TVG730FirmwareStatus status;
    const wchar_t* version;
    const wchar_t* channelId; // what the device number reads afterwards; it starts as "7"
    const wchar_t* statusLine;
    const wchar_t* actionLine;
    bool offered;
};

class Detection : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(Detection, FromTheChannelsOfOneRefresh) {
    const DetectionCase& c = GetParam();
    TGatewayScan scan;
    std::wstring channelId = L"7";
    for (const Channel& channel : c.channels) {
        ScanChannel(channel.name, channel.firmware, scan, channelId);
    }
    EXPECT_EQ(scan.GatewayCount, c.gateways);
    EXPECT_EQ(scan.Status, c.status);
    EXPECT_EQ(scan.FirmwareVersion, c.version);
    EXPECT_EQ(channelId, c.channelId);
    const TGatewayDisplay display = DisplayOf(scan);
    EXPECT_EQ(display.StatusText, c.statusLine);
    EXPECT_EQ(display.ActionText, c.actionLine);
    EXPECT_EQ(display.ReadyToUpdate, c.offered);
}

constexpr auto Unknown = fsUnknown;
constexpr auto Current = fsUpToDate;
constexpr auto Old = fsUpdateAvailable;
const wchar_t None[] = L"No VG730 connected";
const wchar_t One[] = L"VG730 connected";

INSTANTIATE_TEST_SUITE_P(
    Channels, Detection,
    ::testing::Values(
        DetectionCase{"no_channels", {}, 0, Unknown, L"", L"7", None, L"", false},
        DetectionCase{"one_old",
                      {{L"VG730 #0", L"2.05.176"}},
                      1,
                      Old,
                      L"2.05.176",
                      L"0",
                      One,
                      L"Current firmware: 2.05.176",
                      true},
        DetectionCase{"same_version",
                      {{L"VG730 #0", L"2.05.177"}},
                      1,
                      Current,
                      L"2.05.177",
                      L"0",
                      One,
                      L"Current firmware: 2.05.177",
                      false},
        DetectionCase{"newer_minor",
                      {{L"VG730 #0", L"2.06.000"}},
                      1,
                      Current,
                      L"2.06.000",
                      L"0",
                      One,
                      L"Current firmware: 2.06.000",
                      false},
        DetectionCase{"newer_major",
                      {{L"VG730 #0", L"3.00.000"}},
                      1,
                      Current,
                      L"3.00.000",
                      L"0",
                      One,
                      L"Current firmware: 3.00.000",
                      false},
        // Each part is tested on its own: a high build or minor counts as up to date.
        DetectionCase{"old_minor_high_build",
                      {{L"VG730 #0", L"2.04.200"}},
                      1,
                      Current,
                      L"2.04.200",
                      L"0",
                      One,
                      L"Current firmware: 2.04.200",
                      false},
        DetectionCase{"old_major_high_minor",
                      {{L"VG730 #0", L"1.08.000"}},
                      1,
                      Current,
                      L"1.08.000",
                      L"0",
                      One,
                      L"Current firmware: 1.08.000",
                      false},
        DetectionCase{"build_zero",
                      {{L"VG730 #0", L"2.05.000"}},
                      1,
                      Old,
                      L"2.05.000",
                      L"0",
                      One,
                      L"Current firmware: 2.05.000",
                      true},
        // Parts are 16-bit: 65538 tests as 2, -1 as 65535.
        DetectionCase{"major_wraps_to_2",
                      {{L"VG730 #0", L"65538.5.176"}},
                      1,
                      Old,
                      L"65538.5.176",
                      L"0",
                      One,
                      L"Current firmware: 65538.5.176",
                      true},
        DetectionCase{"minus_one_is_65535",
                      {{L"VG730 #0", L"2.5.-1"}},
                      1,
                      Current,
                      L"2.5.-1",
                      L"0",
                      One,
                      L"Current firmware: 2.5.-1",
                      false},
        DetectionCase{"number_and_text_after_it",
                      {{L"VG730 #12 front", L"2.05.176"}},
                      1,
                      Old,
                      L"2.05.176",
                      L"12",
                      One,
                      L"Current firmware: 2.05.176",
                      true},
        DetectionCase{"leading_zeros_dropped",
                      {{L"VG730 #007", L"2.05.176"}},
                      1,
                      Old,
                      L"2.05.176",
                      L"7",
                      One,
                      L"Current firmware: 2.05.176",
                      true},
        DetectionCase{"parts_trimmed",
                      {{L"VG730 #0", L"2 . 05 . 176"}},
                      1,
                      Old,
                      L"2 . 05 . 176",
                      L"0",
                      One,
                      L"Current firmware: 2 . 05 . 176",
                      true},
        // Shown, but without a readable number nothing is offered and the number stays.
        DetectionCase{"number_256",
                      {{L"VG730 #256", L"2.05.176"}},
                      1,
                      Unknown,
                      L"2.05.176",
                      L"7",
                      One,
                      L"Current firmware: 2.05.176",
                      false},
        DetectionCase{"letter_after_hash",
                      {{L"VG730 #A", L"2.05.176"}},
                      1,
                      Unknown,
                      L"2.05.176",
                      L"7",
                      One,
                      L"Current firmware: 2.05.176",
                      false},
        DetectionCase{"second_variant",
                      {{L"VG730-2 #0", L"2.05.176"}},
                      0,
                      Unknown,
                      L"",
                      L"7",
                      None,
                      L"",
                      false},
        DetectionCase{"virtual",
                      {{L"VG730 #0 Virtual", L"2.05.176"}},
                      0,
                      Unknown,
                      L"",
                      L"7",
                      None,
                      L"",
                      false},
        DetectionCase{
            "case_matters", {{L"vg730 #0", L"2.05.176"}}, 0, Unknown, L"", L"7", None, L"", false},
        DetectionCase{
            "two_parts_hide_it", {{L"VG730 #0", L"2.05"}}, 0, Unknown, L"", L"7", None, L"", false},
        DetectionCase{"empty_firmware_hides_it",
                      {{L"VG730 #0", L""}},
                      0,
                      Unknown,
                      L"",
                      L"7",
                      None,
                      L"",
                      false},
        DetectionCase{"two_gateways",
                      {{L"VG730 #0", L"2.05.176"}, {L"VG730 #1", L"2.05.177"}},
                      2,
                      Current,
                      L"2.05.177",
                      L"1",
                      L"Multiple VG730 devices connected",
                      L"Connect a single VG730",
                      false},
        // The last gateway evaluated decides the status; one without a number keeps it.
        DetectionCase{"other_channels_around_one",
                      {{L"Virtual Channel 1", L"0.00.0"},
                       {L"VG730 #3", L"2.05.100"},
                       {L"VG730 #x", L"9.09.999"},
                       {L"Virtual Channel 2", L"0.00.0"}},
                      2,
                      Old,
                      L"9.09.999",
                      L"3",
                      L"Multiple VG730 devices connected",
                      L"Connect a single VG730",
                      false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DetectionConversion, APartThatIsNoIntegerRaisesWhateverTheChannel) {
    struct Case {
        const wchar_t* name;
        const wchar_t* firmware;
        const wchar_t* message;
    };
    for (const Case& c :
         {Case{L"VG730 #0", L"2.x5.176", L"'x5' is not a valid integer value"},
          Case{L"Virtual Channel", L"2.05.1a", L"'1a' is not a valid integer value"},
          Case{L"VG730 #0", L"2..176", L"'' is not a valid integer value"}}) {
        TGatewayScan scan;
        std::wstring channelId = L"4";
        try {
            ScanChannel(c.name, c.firmware, scan, channelId);
            ADD_FAILURE() << "no error for " << WideToUtf8(c.firmware);
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), c.message);
        }
        EXPECT_EQ(scan.GatewayCount, 0);
        EXPECT_EQ(channelId, L"4");
    }
}

} // namespace
