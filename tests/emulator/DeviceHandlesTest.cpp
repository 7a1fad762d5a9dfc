// Portable: the sharing rules of the two device objects and handles that outlive a restart.
#include "ModelClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct OpenStep {
    enum Kind { Open, Hold, Close } kind;
    Vg730Object object;
    Vg730Result result; // for Open
};

struct SharingCase {
    const char* name;
    std::vector<OpenStep> steps;
};

class SharingTest : public testing::TestWithParam<SharingCase> {};

TEST_P(SharingTest, ExclusiveMeansAlone) {
    ModelClient client;
    std::vector<Vg730Handle> open; // Hold and Close act on the last handle of the object
    int index = 0;
    auto last = [&](Vg730Object object) {
        for (auto it = open.rbegin(); it != open.rend(); ++it) {
            if (it->object == object) {
                return std::prev(it.base());
            }
        }
        return open.end();
    };
    for (const OpenStep& step : GetParam().steps) {
        if (step.kind == OpenStep::Open) {
            Vg730Handle handle{};
            EXPECT_EQ(vg730_device_open(client.Device(), client.now, step.object, &handle),
                      step.result)
                << "step " << index;
            if (step.result == VG730_OK) {
                open.push_back(handle);
            }
        } else if (auto it = last(step.object); it != open.end()) {
            if (step.kind == OpenStep::Hold) {
                client.handle = &*it;
                std::uint8_t hold[4] = {1, 0, 0, 0};
                EXPECT_EQ(client.Raw(VG730_IOCTL_HOLD, hold, 4), VG730_OK) << "step " << index;
            } else {
                vg730_device_close(client.Device(), &*it);
                open.erase(it);
            }
        }
        ++index;
    }
}

constexpr Vg730Object INFO = VG730_OBJECT_INFO, EXCL = VG730_OBJECT_EXCLUSIVE;
constexpr OpenStep::Kind OPEN = OpenStep::Open, HOLD = OpenStep::Hold, CLOSE = OpenStep::Close;

INSTANTIATE_TEST_SUITE_P(
    Opens, SharingTest,
    testing::Values(
        SharingCase{"InfoBesideInfo",
                    {{OPEN, INFO, VG730_OK}, {OPEN, INFO, VG730_OK}, {OPEN, INFO, VG730_OK}}},
        SharingCase{"ExclusiveAlone", {{OPEN, EXCL, VG730_OK}}},
        SharingCase{
            "ExclusiveBesideHeldInfo",
            {{OPEN, INFO, VG730_OK}, {HOLD, INFO, VG730_OK}, {OPEN, EXCL, VG730_FAIL_SHARING}}},
        // An identity read that left its handle open keeps programming out.
        SharingCase{"ExclusiveBesidePlainInfo",
                    {{OPEN, INFO, VG730_OK}, {OPEN, EXCL, VG730_FAIL_SHARING}}},
        SharingCase{"ExclusiveAfterInfoClosed",
                    {{OPEN, INFO, VG730_OK}, {CLOSE, INFO, VG730_OK}, {OPEN, EXCL, VG730_OK}}},
        SharingCase{"InfoBesideExclusive",
                    {{OPEN, EXCL, VG730_OK}, {OPEN, INFO, VG730_FAIL_SHARING}}},
        SharingCase{"SecondExclusive", {{OPEN, EXCL, VG730_OK}, {OPEN, EXCL, VG730_FAIL_SHARING}}},
        SharingCase{"ExclusiveAfterHolderClosed",
                    {{OPEN, INFO, VG730_OK},
                     {HOLD, INFO, VG730_OK},
                     {CLOSE, INFO, VG730_OK},
                     {OPEN, EXCL, VG730_OK}}},
        SharingCase{"InfoAfterExclusiveClosed",
                    {{OPEN, EXCL, VG730_OK}, {CLOSE, EXCL, VG730_OK}, {OPEN, INFO, VG730_OK}}}),
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
    client.handle = &library;
    std::uint8_t hold[4] = {1, 0, 0, 0};
    ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold, 4), VG730_OK);
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

struct VisibilityCase {
    const char* name;
    std::vector<Vg730Object> open; // opened in this order
    bool holdFirst;                // the first (".info") handle holds the device
    bool infoVisible, exclusiveVisible;
};

class VisibilityTest : public testing::TestWithParam<VisibilityCase> {};

TEST_P(VisibilityTest, ObjectsCanBeFoundOnlyWhenAnOpenMaySucceed) {
    const VisibilityCase& c = GetParam();
    ModelClient client;
    std::vector<Vg730Handle> handles(c.open.size());
    for (std::size_t i = 0; i < c.open.size(); ++i) {
        ASSERT_EQ(vg730_device_open(client.Device(), client.now, c.open[i], &handles[i]), VG730_OK);
    }
    if (c.holdFirst) {
        client.handle = &handles[0];
        std::vector<std::uint8_t> hold(VG730_HOLD_SIZE, 0);
        hold[0] = 1;
        ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), VG730_HOLD_SIZE), VG730_OK);
        EXPECT_EQ(handles[0].holding, 1u);
    }
    EXPECT_EQ(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_INFO), c.infoVisible);
    EXPECT_EQ(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE),
              c.exclusiveVisible);
    // Closing every handle makes both visible again, the holding one included.
    for (const Vg730Handle& handle : handles) {
        vg730_device_close(client.Device(), &handle);
    }
    EXPECT_TRUE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_INFO));
    EXPECT_TRUE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE));
    EXPECT_EQ(client.Report().holds, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Handles, VisibilityTest,
    testing::Values(
        VisibilityCase{"Nothing", {}, false, true, true},
        // A plain ".info" handle (the flash programmer's identity read) takes no name
        // away; the model refuses an ".exclusive" open beside it instead.
        VisibilityCase{"PlainInfo", {VG730_OBJECT_INFO}, false, true, true},
        VisibilityCase{"HoldingInfo", {VG730_OBJECT_INFO}, true, true, false},
        VisibilityCase{
            "HoldingAndPlainInfo", {VG730_OBJECT_INFO, VG730_OBJECT_INFO}, true, true, false},
        VisibilityCase{"Exclusive", {VG730_OBJECT_EXCLUSIVE}, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hold, OnlyThroughInfoAndGoneWithTheRestart) {
    ModelClient client;
    Vg730Handle exclusive;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE, &exclusive),
              VG730_OK);
    client.handle = &exclusive;
    std::vector<std::uint8_t> hold = {1, 0, 0, 0};
    EXPECT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), 4), VG730_FAIL_WRONG_OBJECT);
    vg730_device_close(client.Device(), &exclusive);

    Vg730Handle info;
    ASSERT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &info), VG730_OK);
    client.handle = &info;
    ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), 4), VG730_OK);
    ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), 4), VG730_OK); // twice holds once
    EXPECT_EQ(client.Report().holds, 1u);
    hold[0] = 0;
    ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), 4), VG730_OK);
    EXPECT_EQ(client.Report().holds, 0u);
    EXPECT_TRUE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE));

    hold[0] = 1;
    ASSERT_EQ(client.Raw(VG730_IOCTL_HOLD, hold.data(), 4), VG730_OK);
    vg730_device_unplug(client.Device());
    EXPECT_EQ(client.Report().holds, 0u);
    EXPECT_FALSE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_INFO));
    vg730_device_close(client.Device(), &info); // stale: changes nothing
    EXPECT_EQ(client.Report().holds, 0u);
}

TEST(Visibility, NothingWhileRestarting) {
    ModelClient client;
    ASSERT_EQ(client.Command(VG730_FLASH_START).status, 0);
    ASSERT_EQ(client.Command(VG730_FLASH_END).status, 0);
    EXPECT_FALSE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_INFO));
    EXPECT_FALSE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE));
    client.now += VG730_DEFAULT_RESTART_MS;
    EXPECT_TRUE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_INFO));
    EXPECT_TRUE(vg730_device_visible(client.Device(), client.now, VG730_OBJECT_EXCLUSIVE));
}

} // namespace
