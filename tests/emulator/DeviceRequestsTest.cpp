// Portable: the identity requests of the device model and how it refuses malformed requests.
#include "ModelClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct IdentityCase {
    const char* name;
    std::int32_t serial;
    std::uint32_t hwMajor, hwMinor, fwMajor, fwMinor, fwBuild, eanHi, eanLo;
};

class IdentityTest : public testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityTest, CardInfoCarriesTheIdentityAtItsOffsets) {
    const IdentityCase& c = GetParam();
    Vg730Identity identity;
    vg730_identity_default(&identity, 3);
    identity.serial = c.serial;
    identity.hardware_major = c.hwMajor;
    identity.hardware_minor = c.hwMinor;
    identity.firmware = {c.fwMajor, c.fwMinor, c.fwBuild};
    identity.ean_hi = c.eanHi;
    identity.ean_lo = c.eanLo;
    ModelClient client(identity, 3);

    Vg730Result result;
    const auto info = client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(client.lastBytesReturned, 376u);
    EXPECT_EQ(Word(info.data(), 84), c.fwMajor);
    EXPECT_EQ(Word(info.data(), 88), c.fwMinor);
    EXPECT_EQ(Word(info.data(), 92), c.fwBuild);
    EXPECT_EQ(Word(info.data(), 96), c.hwMajor);
    EXPECT_EQ(Word(info.data(), 100), c.hwMinor);
    EXPECT_EQ(static_cast<std::int32_t>(Word(info.data(), 116)), c.serial);

    const auto info2 = client.Request(VG730_IOCTL_GET_CARD_INFO2, 128, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info2.data(), 0), c.eanLo);
    EXPECT_EQ(Word(info2.data(), 4), c.eanHi);
}

INSTANTIATE_TEST_SUITE_P(Identities, IdentityTest,
                         testing::Values(IdentityCase{"Default", 1234, 1, 0, 2, 5, 176, 0x00073000,
                                                      0x99001237},
                                         IdentityCase{"SecondGateway", 7654321, 1, 2, 3, 10, 300,
                                                      0x00073000, 0x99002005},
                                         IdentityCase{"NoFirmware", -5, 0, 0, 0, 0, 0, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DefaultIdentity, IsTheGatewayOfTheDeliveredImage) {
    Vg730Identity identity;
    vg730_identity_default(&identity, 17);
    EXPECT_EQ(identity.serial, 1234);
    EXPECT_EQ(identity.hardware_major, 1u);
    EXPECT_EQ(identity.hardware_minor, 0u);
    EXPECT_EQ(identity.firmware.major, 2u);
    EXPECT_EQ(identity.firmware.minor, 5u);
    EXPECT_EQ(identity.firmware.build, 176u);
    EXPECT_EQ(identity.ean_hi, 0x00073000u);
    EXPECT_EQ(identity.ean_lo, 0x99001237u);
    EXPECT_EQ(identity.has_param_ean, 0u);
    EXPECT_STREQ(identity.name, "Quorvel VG730 #17");
}

std::vector<std::uint8_t> ParameterRequest(std::uint32_t one, std::uint32_t parameter,
                                           std::uint32_t length) {
    std::vector<std::uint8_t> b(144, 0);
    PutWord(b.data(), 0, one);
    PutWord(b.data(), 4, parameter);
    PutWord(b.data(), 12, length);
    return b;
}

struct ParameterCase {
    const char* name;
    bool keepsEan;
    std::uint32_t one, parameter, length;
    std::int32_t status;
};

class CardParameterTest : public testing::TestWithParam<ParameterCase> {};

TEST_P(CardParameterTest, AnswersTheKeptEanOnlyToTheRightQuestion) {
    const ParameterCase& c = GetParam();
    Vg730Identity identity;
    vg730_identity_default(&identity, 0);
    identity.has_param_ean = c.keepsEan;
    identity.param_ean_hi = 0x00073000;
    identity.param_ean_lo = 0x99002005;
    ModelClient client(identity);

    Vg730Result result;
    const auto answer = client.Request(VG730_IOCTL_READ_CARD_PARAMETER, 144, &result,
                                       ParameterRequest(c.one, c.parameter, c.length));
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(static_cast<std::int32_t>(Word(answer.data(), 8)), c.status);
    if (c.status == 0) {
        EXPECT_EQ(Word(answer.data(), 16), 0x99002005u);
        EXPECT_EQ(Word(answer.data(), 20), 0x00073000u);
    } else {
        EXPECT_EQ(Word(answer.data(), 16), 0u);
        EXPECT_EQ(Word(answer.data(), 20), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Questions, CardParameterTest,
    testing::Values(ParameterCase{"KeptEan", true, 1, 0x81, 8, 0},
                    ParameterCase{"NoKeptEan", false, 1, 0x81, 8, VG730_STATUS_NO_PARAMETER},
                    ParameterCase{"OtherParameter", true, 1, 0x82, 8, VG730_STATUS_NO_PARAMETER},
                    ParameterCase{"WrongLength", true, 1, 0x81, 4, VG730_STATUS_NO_PARAMETER},
                    ParameterCase{"FirstWordNotOne", true, 0, 0x81, 8, VG730_STATUS_NO_PARAMETER}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChannelInfo, ReportsWhatTheCanLibraryShows) {
    Vg730Identity identity;
    vg730_identity_default(&identity, 4);
    identity.firmware = {3, 10, 300};
    ModelClient client(identity, 4);

    Vg730Result result;
    auto info = client.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info.data(), VG730_CH_FIRMWARE_MAJOR), 3u);
    EXPECT_EQ(Word(info.data(), VG730_CH_FIRMWARE_MINOR), 10u);
    EXPECT_EQ(Word(info.data(), VG730_CH_FIRMWARE_BUILD), 300u);
    EXPECT_EQ(Word(info.data(), VG730_CH_EAN_LO), 0x99001237u);
    EXPECT_EQ(Word(info.data(), VG730_CH_EAN_HI), 0x00073000u);
    EXPECT_STREQ(reinterpret_cast<const char*>(info.data() + VG730_CH_NAME), "Quorvel VG730 #4");
    EXPECT_EQ(Word(info.data(), VG730_CH_FLAGS), 0u);

    // A gateway whose channel delivers no EAN says so; its identity keeps the EAN.
    identity.no_channel_ean = 1;
    ModelClient silent(identity, 4);
    info = silent.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info.data(), VG730_CH_FLAGS), static_cast<std::uint32_t>(VG730_CH_FLAG_NO_EAN));
    info = silent.Request(VG730_IOCTL_GET_CARD_INFO2, VG730_CARD_INFO2_SIZE, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info.data(), VG730_CI2_EAN_LO), 0x99001237u);
    identity.no_channel_ean = 0;

    // A kept parameter EAN wins, as it does for the flash programmer.
    identity.has_param_ean = 1;
    identity.param_ean_hi = 0x00073000;
    identity.param_ean_lo = 0x99002005;
    ModelClient kept(identity, 4);
    info = kept.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info.data(), VG730_CH_EAN_LO), 0x99002005u);
}

struct SizeCase {
    std::uint32_t code, size;
};

class RequestSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(RequestSizeTest, OnlyTheRequestsOwnSizeIsAccepted) {
    const SizeCase& c = GetParam();
    ModelClient client;
    for (std::uint32_t size : {c.size - 1, c.size + 1, 0u}) {
        std::vector<std::uint8_t> buffer(c.size + 8, 0);
        EXPECT_EQ(client.Raw(c.code, buffer.data(), size), VG730_FAIL_BAD_SIZE) << size;
        EXPECT_EQ(client.lastBytesReturned, 0u);
    }
    std::vector<std::uint8_t> buffer(c.size, 0);
    if (c.code == VG730_IOCTL_FLASH_COMMAND) {
        PutWord(buffer.data(), VG730_FC_COMMAND, VG730_FLASH_END); // harmless
    }
    EXPECT_EQ(client.Raw(c.code, buffer.data(), c.size), VG730_OK);
    EXPECT_EQ(client.lastBytesReturned, c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestSizeTest,
    testing::Values(SizeCase{VG730_IOCTL_FLASH_COMMAND, 24}, SizeCase{VG730_IOCTL_DOWNLOAD, 32},
                    SizeCase{VG730_IOCTL_UPLOAD, 32}, SizeCase{VG730_IOCTL_GET_CARD_INFO, 376},
                    SizeCase{VG730_IOCTL_GET_CARD_INFO2, 128},
                    SizeCase{VG730_IOCTL_READ_CARD_PARAMETER, 144},
                    SizeCase{VG730_IOCTL_CHANNEL_INFO, 128}, SizeCase{VG730_IOCTL_HOLD, 4}));

TEST(UnknownRequest, FailsTheCallAndCountsNothing) {
    ModelClient client;
    std::vector<std::uint8_t> buffer(64, 0);
    // Neighbours of real codes: other function or other device type.
    for (std::uint32_t code : {0x80022400u, 0x80022410u, 0x8000209Du, 0x80012404u}) {
        EXPECT_EQ(client.Raw(code, buffer.data(), 24), VG730_FAIL_UNKNOWN_REQUEST) << code;
    }
    const Vg730Report report = client.Report();
    for (std::uint32_t count : report.requests) {
        EXPECT_EQ(count, 0u);
    }
}

TEST(RequestCounts, CountEveryRequestByKind) {
    ModelClient client;
    client.Command(VG730_FLASH_START);
    client.Command(VG730_FLASH_ERASE);
    client.EraseCheck(0xFFFE);
    client.EraseCheck(0x1FFFE);
    client.Upload(0, 4); // refused (not in read mode) but still a request
    Vg730Result result;
    client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    const Vg730Report report = client.Report();
    EXPECT_EQ(report.requests[VG730_REQ_FLASH_COMMAND], 2u);
    EXPECT_EQ(report.requests[VG730_REQ_DOWNLOAD], 2u);
    EXPECT_EQ(report.requests[VG730_REQ_UPLOAD], 1u);
    EXPECT_EQ(report.requests[VG730_REQ_GET_CARD_INFO], 1u);
    EXPECT_EQ(report.requests[VG730_REQ_GET_CARD_INFO2], 0u);
}

TEST(RequestKindNames, RoundTrip) {
    for (std::uint32_t kind = 0; kind < VG730_REQ_KIND_COUNT; ++kind) {
        EXPECT_EQ(vg730_request_kind_from_name(vg730_request_kind_name(kind)), kind);
    }
    EXPECT_EQ(vg730_request_kind_from_name("downloads"), VG730_REQ_KIND_COUNT);
    EXPECT_EQ(vg730_request_kind_from_name(""), VG730_REQ_KIND_COUNT);
}

} // namespace
