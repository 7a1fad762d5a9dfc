// The real updater's window under Wine, against emulated gateways: what it shows for the
// channels present, followed as gateways come and go while it is open.
#include "UpdaterFixture.h"

#include "UniversalTypesUnit.h"

#include <functional>

namespace updater_test {
namespace {

struct Shown {
    const wchar_t* status;
    const wchar_t* action;
    bool offered;
};

struct ChannelCase {
    const char* label;
    std::function<void()> connect;
    Shown shown;
};

const Shown NoGateway{L"No VG730 connected", L"", false};

Vg730Identity Named(const char* name, Vg730Version firmware = {2, 5, 176}) {
    Vg730Identity id;
    vg730_identity_default(&id, 0);
    id.firmware = firmware;
    std::snprintf(id.name, sizeof id.name, "%s", name);
    return id;
}

} // namespace

// One updater stays open while the gateways change under it: each refresh sees the channels of
// that moment, so every case is what a user sees after plugging that in.
TEST_F(UpdaterTest, ShowsWhatIsConnected) {
    const std::vector<ChannelCase> cases = {
        {"no channels", [] {}, NoGateway},
        {"2.05.176",
         [this] {
             AddGateway(0, {2, 5, 176});
         },
         {L"VG730 connected", L"Current firmware: 2.05.176", true}},
        {"2.05.177",
         [this] {
             AddGateway(0, {2, 5, 177});
         },
         {L"VG730 connected", L"Current firmware: 2.05.177", false}},
        {"2.06.000",
         [this] {
             AddGateway(0, {2, 6, 0});
         },
         {L"VG730 connected", L"Current firmware: 2.06.0", false}},
        {"3.00.000",
         [this] {
             AddGateway(0, {3, 0, 0});
         },
         {L"VG730 connected", L"Current firmware: 3.00.0", false}},
        {"2.04.200",
         [this] {
             AddGateway(0, {2, 4, 200});
         },
         {L"VG730 connected", L"Current firmware: 2.04.200", false}},
        {"1.08.000",
         [this] {
             AddGateway(0, {1, 8, 0});
         },
         {L"VG730 connected", L"Current firmware: 1.08.0", false}},
        {"2.05.000",
         [this] {
             AddGateway(0, {2, 5, 0});
         },
         {L"VG730 connected", L"Current firmware: 2.05.0", true}},
        {"gateway number 5",
         [this] {
             AddGateway(5, {2, 5, 176});
         },
         {L"VG730 connected", L"Current firmware: 2.05.176", true}},
        {"second variant VG730-2",
         [this] {
             Vg730Identity id = Named("Quorvel VG730 #0");
             id.ean_lo = 0x99002005;
             AddGatewayAs(0, id);
         },
         NoGateway},
        {"virtual channel", [this] { Control().AddVirtualChannel(); }, NoGateway},
        {"number 256 after #",
         [this] { AddGatewayAs(0, Named("Quorvel VG730 #256")); },
         {L"VG730 connected", L"Current firmware: 2.05.176", false}},
        {"letter after #",
         [this] { AddGatewayAs(0, Named("Quorvel VG730 #A1")); },
         {L"VG730 connected", L"Current firmware: 2.05.176", false}},
        {"two gateways",
         [this] {
             AddGateway(0, {2, 5, 176});
             AddGateway(1, {2, 5, 176});
         },
         {L"Multiple VG730 devices connected", L"Connect a single VG730", false}},
        {"gateway beside virtual channels",
         [this] {
             Control().AddVirtualChannel();
             AddGateway(3, {2, 5, 176});
             Control().AddVirtualChannel();
         },
         {L"VG730 connected", L"Current firmware: 2.05.176", true}},
    };

    MainWindow& window = StartUpdater();
    ASSERT_TRUE(window.Found());
    for (const ChannelCase& c : cases) {
        SCOPED_TRACE(c.label);
        Control().Reset();
        c.connect();
        MainView seen;
        EXPECT_TRUE(window.WaitForView(
            [&](const MainView& v) {
                return v.status == c.shown.status && v.action == c.shown.action &&
                       v.updateButton.enabled == c.shown.offered;
            },
            seen))
            << seen.Describe();
        EXPECT_EQ(seen.updateButton.text, L"Update VG730 firmware to 2.05.177");
        EXPECT_TRUE(seen.updateButton.visible);
        EXPECT_TRUE(seen.actionVisible);
        EXPECT_FALSE(seen.progressVisible);
        EXPECT_FALSE(seen.reportButton.visible);
    }
}

// Unplugged and plugged in again while the window is open: the lines follow within a refresh or
// two.
TEST_F(UpdaterTest, FollowsAGatewayUnpluggedAndPluggedInAgain) {
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(window.Found());
    ASSERT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.176"));
    EXPECT_TRUE(window.View().updateButton.enabled);

    for (int round = 0; round < 2; ++round) {
        Control().RemoveDevice(0);
        EXPECT_TRUE(Shows(L"No VG730 connected", L"", 5s));
        EXPECT_FALSE(window.View().updateButton.enabled);
        AddGateway(0);
        EXPECT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.176", 5s));
        EXPECT_TRUE(window.View().updateButton.enabled);
    }
}

} // namespace updater_test
