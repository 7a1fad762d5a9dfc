// Portable: what the device model runs after programming (a good image, every kind of damaged
// one) and its absence while it restarts.
#include "ImageWriter.h"
#include "ModelClient.h"
#include "Vg730Crc.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using vg730::BuildImage;
using vg730::ImageSpec;

struct ImageCase {
    const char* name;
    std::function<void(ImageSpec&)> change;
    // Bytes of the image left out of the download from its end (the checksum, say).
    std::uint32_t leftOut;
    bool imageOk;
    Vg730Version firmware;
};

class FirmwareAfterProgrammingTest : public testing::TestWithParam<ImageCase> {};

TEST_P(FirmwareAfterProgrammingTest, RunsWhatTheImageHolds) {
    const ImageCase& c = GetParam();
    ImageSpec spec;
    c.change(spec);
    const std::vector<std::uint8_t> image = BuildImage(spec);
    const std::size_t length = vg730::ProgrammedLength(spec) - c.leftOut;

    ModelClient client;
    ASSERT_EQ(client.Program(spec.load_addr, image, length).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;

    const Vg730Report report = client.Report();
    EXPECT_EQ(report.presence, VG730_PRESENT);
    EXPECT_EQ(report.state, VG730_STATE_IDLE);
    EXPECT_EQ(report.image_ok, c.imageOk ? 1u : 0u);
    EXPECT_EQ(report.identity.firmware.major, c.firmware.major);
    EXPECT_EQ(report.identity.firmware.minor, c.firmware.minor);
    EXPECT_EQ(report.identity.firmware.build, c.firmware.build);
    // The identity request tells the same.
    Vg730Result result;
    const auto info = client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(Word(info.data(), 84), c.firmware.major);
    EXPECT_EQ(Word(info.data(), 88), c.firmware.minor);
    EXPECT_EQ(Word(info.data(), 92), c.firmware.build);
    // The programmed region and its checksum are those of the bytes sent.
    EXPECT_EQ(report.flash_start, spec.load_addr);
    EXPECT_EQ(report.flash_length, length);
    EXPECT_EQ(report.flash_crc, vg730_crc16_kermit(image.data(), length));
}

INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareAfterProgrammingTest,
    testing::Values(
        ImageCase{"GoodImage", [](ImageSpec&) {}, 0, true, {2, 5, 177}},
        ImageCase{
            "OtherVersion", [](ImageSpec& s) { s.build = "3.10.300 test"; }, 0, true, {3, 10, 300}},
        ImageCase{
            "BuildTextOnlyVersion", [](ImageSpec& s) { s.build = "1.02.3"; }, 0, true, {1, 2, 3}},
        ImageCase{"OtherAddress", [](ImageSpec& s) { s.load_addr = 0x1FE8; }, 0, true, {2, 5, 177}},
        ImageCase{"LargeImage", [](ImageSpec& s) { s.size = 0x30000; }, 0, true, {2, 5, 177}},
        ImageCase{"BadHeaderChecksum",
                  [](ImageSpec& s) { s.bad_header_checksum = true; },
                  0,
                  false,
                  {0, 0, 0}},
        ImageCase{"BadDataChecksum",
                  [](ImageSpec& s) { s.bad_data_checksum = true; },
                  0,
                  false,
                  {0, 0, 0}},
        ImageCase{"HeaderLiesAboutDataAddress",
                  [](ImageSpec& s) { s.data_addr = 0x20018; },
                  0,
                  false,
                  {0, 0, 0}},
        ImageCase{"ChecksumNotSent", [](ImageSpec&) {}, 2, false, {0, 0, 0}},
        ImageCase{"CutShort", [](ImageSpec&) {}, 100, false, {0, 0, 0}},
        ImageCase{"NoBuildTag", [](ImageSpec& s) { s.build.reset(); }, 0, true, {0, 0, 0}},
        ImageCase{
            "UnreadableBuildTag", [](ImageSpec& s) { s.build = "release 2"; }, 0, true, {0, 0, 0}},
        ImageCase{"VersionPartTooLarge",
                  [](ImageSpec& s) { s.build = "2.05.65536"; },
                  0,
                  true,
                  {0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FirmwareAfterProgramming, EraseWithoutWriteLeavesNoFirmwareUntilAGoodImage) {
    ModelClient client;
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_ERASE).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    Vg730Report report = client.Report();
    EXPECT_EQ(report.image_ok, 0u);
    EXPECT_EQ(report.identity.firmware.major, 0u);
    EXPECT_EQ(report.identity.firmware.build, 0u);

    // A bad image does not help; a good one brings the device back.
    ImageSpec spec;
    spec.bad_data_checksum = true;
    ASSERT_EQ(client.Program(spec.load_addr, BuildImage(spec)).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    EXPECT_EQ(client.Report().identity.firmware.build, 0u);

    spec = ImageSpec{};
    ASSERT_EQ(client.Program(spec.load_addr, BuildImage(spec)).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    report = client.Report();
    EXPECT_EQ(report.image_ok, 1u);
    EXPECT_EQ(report.identity.firmware.build, 177u);
}

TEST(FirmwareAfterProgramming, StartAndEndWithoutChangesKeepTheFirmware) {
    ModelClient client;
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    const Vg730Report report = client.Report();
    EXPECT_EQ(report.image_ok, 1u);
    EXPECT_EQ(report.identity.firmware.build, 176u);
}

TEST(FirmwareAfterProgramming, AnnouncedVersionsAreRecorded) {
    ModelClient client;
    ASSERT_EQ(client.Command(VG730_FLASH_START, 255, 254, 253).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END, 0, 0, 0).status, 0);
    const Vg730Report report = client.Report();
    EXPECT_EQ(report.start_version.major, 255u);
    EXPECT_EQ(report.start_version.minor, 254u);
    EXPECT_EQ(report.start_version.build, 253u);
    EXPECT_EQ(report.end_version.major, 0u);
}

struct RestartCase {
    const char* name;
    std::uint32_t startMs;
    std::uint32_t restartMs;
};

class RestartTest : public testing::TestWithParam<RestartCase> {};

TEST_P(RestartTest, AbsentForTheRestartTimeThenBack) {
    const RestartCase& c = GetParam();
    ModelClient client;
    client.now = c.startMs;
    Vg730Fault restart{};
    restart.type = VG730_FAULT_RESTART_TIME;
    restart.value = c.restartMs;
    ASSERT_EQ(client.AddFault(restart), VG730_OK);
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);

    std::vector<std::uint8_t> info(376);
    Vg730Handle handle;
    if (c.restartMs > 0) {
        for (std::uint32_t later : {0u, 1u, c.restartMs - 1}) {
            client.now = c.startMs + later;
            EXPECT_EQ(client.Report().presence, VG730_RESTARTING) << later;
            EXPECT_EQ(client.Raw(VG730_IOCTL_GET_CARD_INFO, info.data(), 376), VG730_FAIL_ABSENT);
            EXPECT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &handle),
                      VG730_FAIL_ABSENT);
        }
    }
    client.now = c.startMs + c.restartMs;
    EXPECT_EQ(client.Report().presence, VG730_PRESENT);
    EXPECT_EQ(client.Raw(VG730_IOCTL_GET_CARD_INFO, info.data(), 376), VG730_OK);
    EXPECT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &handle), VG730_OK);
}

INSTANTIATE_TEST_SUITE_P(Restarts, RestartTest,
                         testing::Values(RestartCase{"Default", 5000, 2000},
                                         RestartCase{"Short", 5000, 10},
                                         RestartCase{"Immediate", 5000, 0},
                                         RestartCase{"ClockWraps", 0xFFFFFF00u, 2000}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
