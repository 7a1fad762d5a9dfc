// Portable: the device model losing its power in the middle of programming and plugged in again
// with its flash as it was, and flash that keeps wrong bytes.
#include "ImageWriter.h"
#include "ModelClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// The default test image: 4122 bytes at 0x10000, so 258 downloads (the last one of 10 bytes)
// and 258 uploads.
const vg730::ImageSpec Spec;

// The whole sequence through `handle` up to FLASH_END; returns the first failure.
Answer ProgramAndEnd(ModelClient& client, const std::vector<std::uint8_t>& image) {
    if (const Answer a = client.Program(Spec.load_addr, image);
        a.result != VG730_OK || a.status != 0) {
        return a;
    }
    for (std::uint32_t offset = 0; offset < image.size(); offset += 16) {
        const std::uint32_t length =
            std::min<std::uint32_t>(16, static_cast<std::uint32_t>(image.size()) - offset);
        if (const UploadAnswer a = client.Upload(Spec.load_addr + offset, length);
            a.result != VG730_OK || a.status != 0) {
            return {a.result, a.status};
        }
    }
    return client.Command(VG730_FLASH_END);
}

struct PowerLossCase {
    const char* name;
    std::uint32_t kind, nth, moment;
    std::uint32_t flashLength; // bytes written when the power went
    bool imageOk;              // what the gateway runs once plugged in again: 2.05.177 or 0.00.0
    bool factoryFirmware;      // ... or still its own 2.05.176: the flash was never touched
};

class PowerLossTest : public testing::TestWithParam<PowerLossCase> {};

TEST_P(PowerLossTest, PluggedInAgainItRunsWhatItsFlashHolds) {
    const PowerLossCase& c = GetParam();
    ModelClient client(5);
    Vg730Handle exclusive;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &exclusive),
              VG730_OK);
    client.handle = &exclusive;
    Vg730Fault unplug = RequestFault(VG730_FAULT_UNPLUG, c.kind, c.nth);
    unplug.value = c.moment;
    ASSERT_EQ(client.AddFault(unplug), VG730_OK);

    const Answer lost = ProgramAndEnd(client, vg730::BuildImage(Spec));
    EXPECT_EQ(lost.result, VG730_FAIL_ABSENT);
    Vg730Report report = client.Report();
    EXPECT_EQ(report.presence, VG730_UNPLUGGED);
    EXPECT_EQ(report.requests[c.kind], c.nth) << "no request after the power went";
    EXPECT_EQ(report.flash_length, c.flashLength);

    client.now += 100000;
    ASSERT_EQ(vg730_device_plug(client.Device()), VG730_OK);
    report = client.Report();
    EXPECT_EQ(report.presence, VG730_PRESENT);
    EXPECT_EQ(report.state, VG730_STATE_IDLE);
    EXPECT_EQ(report.image_ok, c.imageOk || c.factoryFirmware ? 1u : 0u);
    const Vg730Version expected = c.factoryFirmware ? Vg730Version{2, 5, 176}
                                  : c.imageOk       ? Vg730Version{2, 5, 177}
                                                    : Vg730Version{0, 0, 0};
    EXPECT_EQ(report.identity.firmware.major, expected.major);
    EXPECT_EQ(report.identity.firmware.minor, expected.minor);
    EXPECT_EQ(report.identity.firmware.build, expected.build);
    // The same gateway: name and EAN as before, the flash as it was left.
    EXPECT_STREQ(report.identity.name, "Quorvel VG730 #5");
    EXPECT_EQ(report.identity.ean_lo, 0x99001237u);
    EXPECT_EQ(report.flash_length, c.flashLength);

    // The handle of the old life is stale and blocks nothing; programming starts afresh.
    EXPECT_EQ(client.Command(VG730_FLASH_START).result, VG730_FAIL_STALE_HANDLE);
    Vg730Handle fresh;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &fresh),
              VG730_OK);
    client.handle = &fresh;
    vg730_device_clear_faults(client.Device());
    EXPECT_EQ(ProgramAndEnd(client, vg730::BuildImage(Spec)).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    EXPECT_EQ(client.Report().identity.firmware.build, 177u);
}

constexpr std::uint32_t FC = VG730_REQ_FLASH_COMMAND, DL = VG730_REQ_DOWNLOAD,
                        UL = VG730_REQ_UPLOAD;

INSTANTIATE_TEST_SUITE_P(
    Moments, PowerLossTest,
    testing::Values(
        // Flash commands: 1 start, 2 erase, 3 write mode, 4 read mode, 5 end.
        PowerLossCase{"BeforeTheErase", FC, 2, VG730_UNPLUG_BEFORE, 0, false, true},
        PowerLossCase{"RightAfterTheErase", FC, 2, VG730_UNPLUG_AFTER, 0, false, false},
        PowerLossCase{"BeforeAChunk", DL, 100, VG730_UNPLUG_BEFORE, 99 * 16, false, false},
        PowerLossCase{"HalfOfAChunk", DL, 100, VG730_UNPLUG_HALF_WRITTEN, 99 * 16 + 8, false,
                      false},
        PowerLossCase{"AfterAChunk", DL, 100, VG730_UNPLUG_AFTER, 100 * 16, false, false},
        PowerLossCase{"HalfOfTheLastChunk", DL, 258, VG730_UNPLUG_HALF_WRITTEN, 257 * 16 + 5, false,
                      false},
        PowerLossCase{"AfterTheLastChunk", DL, 258, VG730_UNPLUG_AFTER, 4122, true, false},
        PowerLossCase{"DuringTheCompare", UL, 10, VG730_UNPLUG_BEFORE, 4122, true, false},
        PowerLossCase{"RightAfterTheEnd", FC, 5, VG730_UNPLUG_AFTER, 4122, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Plug, OnlyAnUnpluggedGateway) {
    ModelClient client;
    EXPECT_EQ(vg730_device_plug(client.Device()), VG730_FAIL_PLUGGED_IN);
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    EXPECT_EQ(client.Report().presence, VG730_RESTARTING);
    EXPECT_EQ(vg730_device_plug(client.Device()), VG730_FAIL_PLUGGED_IN);
    vg730_device_unplug(client.Device());
    EXPECT_EQ(vg730_device_plug(client.Device()), VG730_OK);
    EXPECT_EQ(client.Report().presence, VG730_PRESENT);
    EXPECT_EQ(vg730_device_plug(client.Device()), VG730_FAIL_PLUGGED_IN);
}

struct BadFlashCase {
    const char* name;
    std::uint32_t type; // VG730_FAULT_WRITE or VG730_FAULT_CORRUPT
    bool imageOk;       // what the gateway's own check finds after FLASH_END
};

class BadFlashTest : public testing::TestWithParam<BadFlashCase> {};

// A write fault leaves wrong bytes in the flash: downloads are accepted, the compare finds them,
// and so does the gateway's own check, which leaves it without firmware. A fault of the read-back
// alone fails the compare, but the gateway runs the image.
TEST_P(BadFlashTest, WrongBytesInTheFlashOrOnlyInTheReadBack) {
    const BadFlashCase& c = GetParam();
    const std::vector<std::uint8_t> image = vg730::BuildImage(Spec);
    ModelClient client;
    Vg730Fault fault{};
    fault.type = c.type;
    fault.address = Spec.load_addr + 0x31;
    fault.length = 2;
    fault.mask = 0x40;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);
    const Vg730Report faults = client.Report();
    EXPECT_EQ(faults.write_faults + faults.corruptions, 1u);
    EXPECT_EQ(faults.write_faults, c.type == VG730_FAULT_WRITE ? 1u : 0u);

    ASSERT_EQ(client.Program(Spec.load_addr, image).status, 0) << "every download accepted";
    const UploadAnswer chunk = client.Upload(Spec.load_addr + 0x30, 4);
    ASSERT_EQ(chunk.status, 0);
    EXPECT_EQ(chunk.data, (std::vector<std::uint8_t>{
                              image[0x30], static_cast<std::uint8_t>(image[0x31] ^ 0x40),
                              static_cast<std::uint8_t>(image[0x32] ^ 0x40), image[0x33]}));
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;
    const Vg730Report report = client.Report();
    EXPECT_EQ(report.image_ok, c.imageOk ? 1u : 0u);
    EXPECT_EQ(report.identity.firmware.build, c.imageOk ? 177u : 0u);

    vg730_device_clear_faults(client.Device());
    EXPECT_EQ(client.Report().write_faults, 0u);
}

INSTANTIATE_TEST_SUITE_P(Faults, BadFlashTest,
                         testing::Values(BadFlashCase{"WriteFault", VG730_FAULT_WRITE, false},
                                         BadFlashCase{"ReadBackFault", VG730_FAULT_CORRUPT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
