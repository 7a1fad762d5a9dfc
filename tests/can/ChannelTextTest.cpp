// The channel's texts: firmware version, EAN digits and the gateway naming; and the sets its
// options and notification flags are kept in.
#include "CanChanEx.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, 8>;

TEST(CanFirmwareText, FormatMinorHasTwoDigitsMajorAndBuildNoLeadingZeros) {
    struct Case {
        uint32_t major, minor, build;
        const wchar_t* text;
    };
    const std::vector<Case> cases = {
        {2, 5, 177, L"2.05.177"},
        {3, 12, 4, L"3.12.4"},
        {0, 0, 0, L"0.00.0"},
        {10, 9, 7, L"10.09.7"},
        {1, 10, 0, L"1.10.0"},
        {2, 100, 5, L"2.100.5"},
        {65535, 65535, 65535, L"65535.65535.65535"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatFirmwareVersion(c.major, c.minor, c.build), c.text)
            << c.major << "." << c.minor << "." << c.build;
    }
}

TEST(CanFirmwareText, WordsMajorAtByte6MinorAt4BuildAt0LittleEndian) {
    struct Case {
        Bytes words;
        const wchar_t* text;
    };
    const std::vector<Case> cases = {
        {{0xB1, 0x00, 0x00, 0x00, 0x05, 0x00, 0x02, 0x00}, L"2.05.177"},
        {{0x2C, 0x01, 0x00, 0x00, 0x0A, 0x00, 0x03, 0x00}, L"3.10.300"},
        {{0, 0, 0, 0, 0, 0, 0, 0}, L"0.00.0"},
        // The word at byte 2 is not part of the version.
        {{0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}, L"0.00.1"},
        // High bytes count: 0x0102 is 258.
        {{0x02, 0x01, 0x00, 0x00, 0x02, 0x01, 0x02, 0x01}, L"258.258.258"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirmwareTextOfWords(c.words), c.text);
    }
}

TEST(CanGatewayNaming, EanDigitsReadsFromTheLastByteToTheFirstInUpperCaseHex) {
    EXPECT_EQ(EanTextOfBytes({0x37, 0x12, 0x00, 0x99, 0x00, 0x30, 0x07, 0x00}), GatewayEan);
    EXPECT_EQ(EanTextOfBytes({0x05, 0x20, 0x00, 0x99, 0x00, 0x30, 0x07, 0x00}), Gateway2Ean);
    EXPECT_EQ(EanTextOfBytes({0x01, 0, 0, 0, 0, 0, 0, 0}), L"0000000000000001");
    EXPECT_EQ(EanTextOfBytes({0xAB, 0xCD, 0xEF, 0, 0, 0, 0, 0xFE}), L"FE00000000EFCDAB");
}

struct NamingCase {
    const char* label;
    std::wstring name;
    std::wstring ean;
    std::wstring reported;
};

class CanGatewayNamingByEan : public testing::TestWithParam<NamingCase> {};

TEST_P(CanGatewayNamingByEan, ReportsTheNameByEan) {
    const NamingCase& c = GetParam();
    EXPECT_TRUE(IsGatewayChannelName(c.name));
    EXPECT_EQ(GatewayChannelName(c.name, c.ean), c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanGatewayNamingByEan,
    testing::Values(NamingCase{"FirstEan", L"X VG730 #2", GatewayEan, L"VG730 #2"},
                    NamingCase{"FirstEanDeviceZero", L"X VG730 #0", GatewayEan, L"VG730 #0"},
                    NamingCase{"SecondEanKeepsTail", L"X VG730 #2 Y", Gateway2Ean, L"VG730-2 #2 Y"},
                    NamingCase{"OtherEanAppended", L"X VG730 #2", L"0000000000000001",
                               L"X VG730 #2 EAN: 0000000000000001"},
                    NamingCase{"NoHashFirstEan", L"X VG730", GatewayEan, L"VG730"},
                    NamingCase{"NoHashSecondEan", L"VG730 gateway", Gateway2Ean, L"VG730-2"},
                    NamingCase{"VirtualOtherEanUnchanged", L"X Virtual VG730", L"0000000000000000",
                               L"X Virtual VG730"},
                    // The EAN decides before the word "Virtual" is looked at.
                    NamingCase{"VirtualWithGatewayEan", L"Virtual VG730 #1", GatewayEan,
                               L"VG730 #1"},
                    NamingCase{"FirstHashCounts", L"A VG730 #3 #4", GatewayEan, L"VG730 #3 #4"},
                    NamingCase{"HashNeedsTheBlank", L"VG730#3", GatewayEan, L"VG730"},
                    NamingCase{"LowerCaseVirtualIsNotVirtual", L"virtual VG730",
                               L"1234567890123456", L"virtual VG730 EAN: 1234567890123456"}),
    [](const testing::TestParamInfo<NamingCase>& info) { return info.param.label; });

TEST(CanGatewayNaming, OnlyNamesHoldingUpperCaseVg730AreRenamed) {
    struct Case {
        const wchar_t* name;
        bool renamed;
    };
    const std::vector<Case> cases = {
        {L"X VG730 #0", true}, {L"VG730", true},    {L"xVG7300", true}, {L"X vg730 #0", false},
        {L"Vg730 #1", false},  {L"VG73 #0", false}, {L"", false},       {L"Virtual channel", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsGatewayChannelName(c.name), c.renamed) << WideToUtf8(c.name);
    }
}

TEST(CanEnumSet, IncludeExcludeAndContains) {
    TCanChanNotifyFlags flags;
    EXPECT_TRUE(flags.Empty());
    flags.Include(ccNotifyTx).Include(ccNotifyError);
    EXPECT_TRUE(flags.Contains(ccNotifyTx));
    EXPECT_TRUE(flags.Contains(ccNotifyError));
    EXPECT_FALSE(flags.Contains(ccNotifyRx));
    EXPECT_EQ(flags, (TCanChanNotifyFlags{ccNotifyError, ccNotifyTx}));
    flags.Set(ccNotifyTx, false).Set(ccNotifyRx, true);
    EXPECT_EQ(flags, (TCanChanNotifyFlags{ccNotifyRx, ccNotifyError}));
    flags.Exclude(ccNotifyRx).Exclude(ccNotifyError);
    EXPECT_TRUE(flags.Empty());
}

} // namespace
