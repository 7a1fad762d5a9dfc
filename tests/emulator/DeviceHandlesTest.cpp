// Portable: the sharing rules of the two device objects and handles that outlive a restart.
#include "ModelClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OpenStep {
    enum Kind { Open, Close } kind;
    Vg730Object object;
    Vg730Result result; // for Open
};

struct SharingCase {
    const char* name;
    std::vector<OpenStep> steps;
};

class SharingTest : public testing::TestWithParam<SharingCase> {};

TEST_P(SharingTest, InfoSharesExclusiveDoesNot) {
    ModelClient client;
    std::vector<Vg730Handle> open; // handles opened, closed last-in first-out per object
    int index = 0;
    for (const OpenStep& step : GetParam().steps) {
        if (step.kind == OpenStep::Open) {
            Vg730Handle handle{};
            EXPECT_EQ(vg730_device_open(client.Device(), client.now, step.object, &handle),
                      step.result)
                << "step " << index;
            if (step.result == VG730_OK) {
                open.push_back(handle);
            }
        } else {
            for (auto it = open.rbegin(); it != open.rend(); ++it) {
                if (it->object == step.object) {
                    vg730_device_close(client.Device(), &*it);
                    open.erase(std::next(it).base());
                    break;
                }
            }
        }
        ++index;
    }
}

constexpr Vg730Object INFO = VG730_OBJECT_INFO, EXCL = VG730_OBJECT_EXCLUSIVE;

INSTANTIATE_TEST_SUITE_P(
    Opens, SharingTest,
    testing::Values(
        SharingCase{"InfoBesideInfo",
                    {{OpenStep::Open, INFO, VG730_OK},
                     {OpenStep::Open, INFO, VG730_OK},
                     {OpenStep::Open, INFO, VG730_OK}}},
        SharingCase{"ExclusiveAlone", {{OpenStep::Open, EXCL, VG730_OK}}},
        SharingCase{"ExclusiveBesideInfo",
                    {{OpenStep::Open, INFO, VG730_OK}, {OpenStep::Open, EXCL, VG730_FAIL_SHARING}}},
        SharingCase{"InfoBesideExclusive",
                    {{OpenStep::Open, EXCL, VG730_OK}, {OpenStep::Open, INFO, VG730_FAIL_SHARING}}},
        SharingCase{"SecondExclusive",
                    {{OpenStep::Open, EXCL, VG730_OK}, {OpenStep::Open, EXCL, VG730_FAIL_SHARING}}},
        SharingCase{"ExclusiveAfterLastInfoClosed",
                    {{OpenStep::Open, INFO, VG730_OK},
                     {OpenStep::Open, INFO, VG730_OK},
                     {OpenStep::Close, INFO, VG730_OK},
                     {OpenStep::Open, EXCL, VG730_FAIL_SHARING},
                     {OpenStep::Close, INFO, VG730_OK},
                     {OpenStep::Open, EXCL, VG730_OK}}},
        SharingCase{"InfoAfterExclusiveClosed",
                    {{OpenStep::Open, EXCL, VG730_OK},
                     {OpenStep::Close, EXCL, VG730_OK},
                     {OpenStep::Open, INFO, VG730_OK}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Handles, ProgrammingNeedsTheExclusiveObject) {
    ModelClient client;
    Vg730Handle info;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &info), VG730_OK);
    client.handle = &info;
    EXPECT_EQ(client.Command(VG730_FLASH_START).result, VG730_FAIL_NOT_EXCLUSIVE);
    EXPECT_EQ(client.Download(0x100, {1}).result, VG730_FAIL_NOT_EXCLUSIVE);
    EXPECT_EQ(client.Upload(0x100, 1).result, VG730_FAIL_NOT_EXCLUSIVE);
    Vg730Result result;
    client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    EXPECT_EQ(result, VG730_OK);
    vg730_device_close(client.Device(), &info);

    Vg730Handle exclusive;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &exclusive),
              VG730_OK);
    client.handle = &exclusive;
    EXPECT_EQ(client.Command(VG730_FLASH_START).result, VG730_OK);
    client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    EXPECT_EQ(result, VG730_OK);
}

TEST(Handles, HandlesOfTheOldLifeAreStaleAndHoldNothing) {
    ModelClient client;
    Vg730Handle library; // a CAN library keeps an ".info" handle open
    Vg730Handle exclusive;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &exclusive),
              VG730_OK);
    client.handle = &exclusive;
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    client.now += VG730_DEFAULT_RESTART_MS;

    // Back after the restart: the old handle is refused, and it blocks no one.
    Vg730Result result;
    client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
    EXPECT_EQ(result, VG730_FAIL_STALE_HANDLE);
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &library),
              VG730_OK);
    // Closing the stale handle must not release the new one.
    vg730_device_close(client.Device(), &exclusive);
    Vg730Handle second;
    EXPECT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &second),
              VG730_FAIL_SHARING);
    vg730_device_close(client.Device(), &library);
    EXPECT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &second),
              VG730_OK);
    const Vg730Report report = client.Report();
    EXPECT_EQ(report.exclusive_opens, 1u);
    EXPECT_EQ(report.info_opens, 0u);
}

} // namespace
