// The abstract CAN API's defaults and shared operations, and the creator registry.
#include "SdCanClassUnit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A back-end that provides only what every back-end must, recording the calls of the slots.
class RecordingCanApi : public TSdCanApi {
public:
    std::vector<std::string> Calls;
    bool FActive = false;
    bool FBus = false;

    std::wstring FGetChannelNames(int32_t) const override { return L"name"; }
    void SetChannel(int32_t) override { Calls.push_back("channel"); }
    int32_t channel() const override { return 0; }
    void SetActive(bool v) override {
        Calls.push_back(v ? "Active:=true" : "Active:=false");
        FActive = v;
        if (!v) {
            FBus = false;
        }
    }
    void SetBusActive(bool v) override {
        Calls.push_back(v ? "BusActive:=true" : "BusActive:=false");
        FBus = v && FActive;
    }
    void SetBaudrate(uint32_t) override {}
    void Open() override {}
    void Close() override {}
    void BusOn() override {}
    void BusOff() override {}
    void UnloadDllWhereApplicable() override {}
    void DownloadBaudrateChangeOnOff(bool) override {}
    void ForceBootMode(bool) override {}
    void setEchoEnabled(bool) override {}
    void Reset(uint32_t, uint32_t) override {}
    bool CanRead(TCanMsg&, uint32_t) override { return false; }
    bool CanWrite(const TCanMsg&) override { return false; }
    uint32_t ChannelCount() override { return 0; }

    void FillCapabilities(const std::wstring& text) { GatewayCapabilities = text; }
};

// A back-end that also reports its state through the reading slots.
class StatefulCanApi : public RecordingCanApi {
public:
    bool Active() const override { return FActive; }
    bool BusActive() const override { return FBus; }
};

TEST(CanSdCanApi, SlotsABackEndDoesNotProvideHaveTheirDefaults) {
    RecordingCanApi api;
    EXPECT_FALSE(api.Active());
    EXPECT_FALSE(api.BusActive());
    EXPECT_EQ(api.Baudrate(), 0u);
    EXPECT_FALSE(api.OptimizeTx());
    EXPECT_TRUE(api.DeviceHandleOK());
    EXPECT_EQ(api.Firmware(), L"");
    api.SetOptimizeTx(true);
    EXPECT_TRUE(api.OptimizeTx());
}

TEST(CanSdCanApi, ChannelCapabilitiesAreTheGatewayCapabilitiesWhateverTheIndex) {
    RecordingCanApi api;
    EXPECT_EQ(api.ChannelCapabilities(5), L"");
    api.FillCapabilities(L"fd,iso");
    for (int32_t idx : {-1, 0, 5, 1000}) {
        EXPECT_EQ(api.ChannelCapabilities(idx), L"fd,iso") << idx;
    }
}

TEST(CanSdCanApi, ReceiveAndTransmitEventsByIndex) {
    RecordingCanApi api;
    int rx = 0;
    int tx = 0;
    api.SetOnCanRx([&](TObject*) { ++rx; });
    api.SetEvent(2, [&](TObject*) { ++tx; });
    api.SetEvent(3, [&](TObject*) { rx += 100; }); // no such event: nothing stored
    ASSERT_TRUE(api.GetEvent(1));
    ASSERT_TRUE(api.OnCanTx());
    EXPECT_FALSE(api.GetEvent(0));
    EXPECT_FALSE(api.GetEvent(3));
    api.OnCanRx()(&api);
    api.GetEvent(2)(&api);
    EXPECT_EQ(rx, 1);
    EXPECT_EQ(tx, 1);
    api.SetOnCanRx(nullptr);
    EXPECT_FALSE(api.OnCanRx());
}

TEST(CanSdCanApi, ErrorEventIsStoredAsGiven) {
    RecordingCanApi api;
    EXPECT_FALSE(api.ErrorEvent());
    int32_t seen = 0;
    api.SetErrorEvent([&](int32_t err) { seen = err; });
    api.ErrorEvent()(-7);
    EXPECT_EQ(seen, -7);
}

TEST(CanSdCanApi, OfflineOnlineAndOffOnGoThroughTheSlotsInOrder) {
    struct Case {
        const char* what;
        void (TSdCanApi::*operation)();
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"Offline", &TSdCanApi::Offline, {"BusActive:=false", "Active:=false"}},
        {"Online", &TSdCanApi::Online, {"Active:=true", "BusActive:=true"}},
        {"OffOn",
         &TSdCanApi::OffOn,
         {"BusActive:=false", "Active:=false", "Active:=true", "BusActive:=true"}},
    };
    for (const Case& c : cases) {
        StatefulCanApi api;
        api.SetActive(true);
        api.SetBusActive(true);
        api.Calls.clear();
        (api.*c.operation)();
        EXPECT_EQ(api.Calls, c.calls) << c.what;
    }
}

TEST(CanSdCanApi, OffOnOnTheBusEndsOpenAndOnTheBus) {
    StatefulCanApi api;
    api.Online();
    api.OffOn();
    EXPECT_TRUE(api.Active());
    EXPECT_TRUE(api.BusActive());
}

// A creator that counts how many of its kind are alive.
class CountedCreator : public TCanApiCreator {
public:
    CountedCreator(int32_t id, std::wstring name, int& alive) : FAlive(alive) {
        OwnData.id = id;
        OwnData.name = std::move(name);
        ++FAlive;
    }
    ~CountedCreator() override { --FAlive; }
    std::unique_ptr<TSdCanApi> CreateCanApi() override {
        return std::make_unique<RecordingCanApi>();
    }
    bool DriverFound() override { return true; }
    void SetApiSettings(const TApiSettings&) override {}

private:
    int& FAlive;
};

class CanCreatorRegistry : public testing::Test {
protected:
    void SetUp() override { InitializeSdCanClassUnit(); }
    void TearDown() override { InitializeSdCanClassUnit(); }
    // Outlives the creators the test leaves registered.
    int alive = 0;
};

TEST_F(CanCreatorRegistry, StartsEmptyAndKeysCreatorsByTheirId) {
    EXPECT_TRUE(CanApiCreators().empty());
    RegisterCanApiCreator(std::make_unique<CountedCreator>(1, L"one", alive));
    RegisterCanApiCreator(std::make_unique<CountedCreator>(3, L"three", alive));
    ASSERT_EQ(CanApiCreators().size(), 2u);
    EXPECT_EQ(CanApiCreators().at(1)->OwnData.name, L"one");
    EXPECT_EQ(CanApiCreators().at(3)->OwnData.name, L"three");
    EXPECT_EQ(alive, 2);
}

TEST_F(CanCreatorRegistry, ASecondCreatorUnderAnIdDestroysTheFirst) {
    RegisterCanApiCreator(std::make_unique<CountedCreator>(1, L"one", alive));
    RegisterCanApiCreator(std::make_unique<CountedCreator>(3, L"first", alive));
    RegisterCanApiCreator(std::make_unique<CountedCreator>(3, L"second", alive));
    EXPECT_EQ(alive, 2);
    ASSERT_EQ(CanApiCreators().size(), 2u);
    EXPECT_EQ(CanApiCreators().at(3)->OwnData.name, L"second");
    EXPECT_EQ(CanApiCreators().at(1)->OwnData.name, L"one");
}

TEST_F(CanCreatorRegistry, EmptyingTheRegistryDestroysItsCreators) {
    RegisterCanApiCreator(std::make_unique<CountedCreator>(7, L"seven", alive));
    RegisterCanApiCreator(nullptr);
    EXPECT_EQ(CanApiCreators().size(), 1u);
    InitializeSdCanClassUnit();
    EXPECT_EQ(alive, 0);
    EXPECT_TRUE(CanApiCreators().empty());
}

TEST_F(CanCreatorRegistry, CreatorsHandTheirBackEndsToTheCaller) {
    RegisterCanApiCreator(std::make_unique<CountedCreator>(9, L"nine", alive));
    std::unique_ptr<TSdCanApi> api = CanApiCreators().at(9)->CreateCanApi();
    ASSERT_NE(api, nullptr);
    InitializeSdCanClassUnit();
    // The back-end outlives its creator: it belongs to whoever asked for it.
    EXPECT_EQ(api->ChannelNames(0), L"name");
}

} // namespace
