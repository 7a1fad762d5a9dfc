// The gateway back-end against the emulated CAN library: what the main window relies on, the
// bit-rate writes, sending and receiving, Reset, and the library's life with the back-end.
#include "CanBus.h"
#include "DebugOutputCapture.h"
#include "EmulatorSetup.h"
#include "LibraryCalls.h"
#include "MessagePump.h"
#include "PrefixState.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class CanEmulatedBackEnd : public testing::Test {
protected:
    void SetUp() override {
        emulator_tool::StartFromKnownState();
        UnloadCanDll();
        InitializeCanUnit();
    }
    void TearDown() override {
        FApi.reset();
        UnloadCanDll();
        InitializeCanUnit();
    }

    TVnCanApi& Create() {
        FApi = TVg730CanApiCreator::CreateCanApiInternal();
        return *FApi;
    }

    std::unique_ptr<TVnCanApi> FApi;
};

TEST_F(CanEmulatedBackEnd, ListsTheGatewaysAsTheMainWindowReadsThem) {
    emulator_tool::Must(L"add 3 --firmware 2.05.177 --name \"Quorvel VG730 #3\"");
    emulator_tool::Must(L"add 4 --firmware 2.04.100 --ean 0007300099002005 --name \"Q VG730 #4\"");
    emulator_tool::Must(L"add-virtual --name \"Virtual channel 1\"");
    TVnCanApi& api = Create();
    EXPECT_TRUE(GatewayMode());
    EXPECT_EQ(CanDllName(), GetSystemFolder() + GatewayDll);
    ASSERT_EQ(api.ChannelCount(), 3u);
    EXPECT_EQ(api.ChannelNames(0), L"VG730 #3");
    EXPECT_EQ(api.GetChannelFirmware(0), L"2.05.177");
    EXPECT_EQ(api.ChannelNames(1), L"VG730-2 #4");
    EXPECT_EQ(api.ChannelFirmware(1), L"2.04.100");
    EXPECT_EQ(api.ChannelNames(2), L"Virtual channel 1");
    // Reading names and firmware opens nothing.
    EXPECT_FALSE(api.Active());
    EXPECT_FALSE(api.CanChannel().Active());
}

TEST_F(CanEmulatedBackEnd, StartsClosedAt250000WithStatusAndErrorNotifications) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    const TCanChannelEx& ch = api.CanChannel();
    EXPECT_FALSE(ch.LoadFailed());
    EXPECT_FALSE(api.Active());
    EXPECT_EQ(api.Baudrate(), 250000u);
    EXPECT_EQ(ch.options(), TCanChanOptions{ccNotExclusive});
    EXPECT_EQ(ch.NotifyFlags(), (TCanChanNotifyFlags{ccNotifyStatus, ccNotifyError}));
    EXPECT_FALSE(api.OnCanRx());
    EXPECT_FALSE(api.OnCanTx());
    EXPECT_TRUE(api.DeviceHandleOK());
    EXPECT_EQ(api.Firmware(), L"");
    EXPECT_EQ(api.ChannelCapabilities(0), L"");
}

// The emulator installed as a driver package of each kind: the gateway back-end loads the
// library of the package's pair when both files of the pair are there, and shows no channel
// (calling nothing) otherwise.
struct InstallCase {
    const char* label;
    const wchar_t* install; // options of vg730emu install
    const wchar_t* removed; // a file of the system folder taken away after the install, or null
    const wchar_t* library; // the file FindGatewayDll must name, null for none
};

class CanEmulatedInstall : public CanEmulatedBackEnd,
                           public testing::WithParamInterface<InstallCase> {};

TEST_P(CanEmulatedInstall, TheGatewayBackEndLoadsTheLibraryOfThePackage) {
    const InstallCase& c = GetParam();
    // No driver set-up program, so a missing driver reads as the short message.
    prefix_state::DiagnosticsTool tool;
    tool.SetSetupProgramPresent(false);
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(std::wstring(L"install ") + c.install);
    prefix_state::SystemFolderFiles files;
    if (c.removed) {
        files.Set(c.removed, false);
    }

    const std::wstring expected = c.library ? GetSystemFolder() + c.library : std::wstring();
    EXPECT_EQ(FindGatewayDll(), expected);
    TVg730CanApiCreator gateway;
    EXPECT_EQ(gateway.DriverFound(), c.library != nullptr);
    EXPECT_EQ(gateway.OwnData.Errors, c.library ? L"" : L"VG730 driver not found.");
    // Every install puts the generic library in place.
    EXPECT_EQ(TVarnikCanApiCreator().OwnData.Errors, L"");

    library_calls::Clear();
    TVnCanApi& api = Create();
    EXPECT_EQ(CanDllName(), expected);
    if (c.library) {
        EXPECT_FALSE(api.CanChannel().LoadFailed());
        EXPECT_NE(GetModuleHandleW(expected.c_str()), nullptr);
        ASSERT_EQ(api.ChannelCount(), 1u);
        EXPECT_EQ(api.ChannelNames(0), L"VG730 #0");
        EXPECT_EQ(library_calls::Read().Count("canInitializeLibrary"), 1u);
    } else {
        EXPECT_TRUE(api.CanChannel().LoadFailed());
        EXPECT_EQ(api.ChannelCount(), 0u);
        EXPECT_EQ(api.ChannelNames(0), L"");
        api.Open();
        EXPECT_FALSE(api.Active());
        EXPECT_EQ(library_calls::Read().total, 0u);
    }
    FApi.reset();
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedInstall,
    testing::Values(
        InstallCase{"Package210", L"", nullptr, GatewayDll},
        InstallCase{"Package210OnlyLegacyPair", L"--legacy-dll", nullptr, nullptr},
        InstallCase{"Package210CompanionMissing", L"", GatewayCompanionDll, nullptr},
        InstallCase{"Package204", L"--driver-version 2.0.4 --legacy-dll", nullptr,
                    LegacyGatewayDll},
        InstallCase{"Package204OnlyNewPair", L"--driver-version 2.0.4", nullptr, nullptr},
        InstallCase{"Package204CompanionMissing", L"--driver-version 2.0.4 --legacy-dll",
                    LegacyGatewayCompanionDll, nullptr},
        InstallCase{"TooOld203", L"--driver-version 2.0.3 --legacy-dll", nullptr, nullptr},
        InstallCase{"TooNew300", L"--driver-version 3.0.0", nullptr, nullptr},
        InstallCase{"NoPackage", L"--no-driver-package", nullptr, nullptr},
        InstallCase{"NoGatewayFiles", L"--no-gateway-dll", nullptr, nullptr}),
    [](const testing::TestParamInfo<InstallCase>& info) { return info.param.label; });

TEST_F(CanEmulatedBackEnd, OpenAndActiveTellWhetherTheHandleIsGood) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Open();
    EXPECT_TRUE(api.Active());
    EXPECT_GE(api.CanChannel().CanHnd(), 0);
    EXPECT_TRUE(api.DeviceHandleOK());
    api.SetActive(false);
    EXPECT_FALSE(api.Active());
    // Closed, the handle is -1.
    EXPECT_FALSE(api.DeviceHandleOK());
    api.SetActive(true);
    EXPECT_TRUE(api.DeviceHandleOK());
}

// Bus parameters the library refuses cost the channel its handle: the back-end must not report
// it good, and closing the channel must not close the library's handle a second time.
TEST_F(CanEmulatedBackEnd, RefusedBusParametersLeaveNoHandleToClose) {
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"entry-fault canSetBusParams -1");
    const ScopeGuard normal([] { emulator_tool::Run(L"entry-fault canSetBusParams normal"); });
    TVnCanApi& api = Create();
    library_calls::Clear();
    api.Open();
    EXPECT_TRUE(api.Active());
    EXPECT_FALSE(api.DeviceHandleOK());
    api.Close();
    const vg730emu::CanCallLog log = library_calls::Read();
    ASSERT_FALSE(log.Of("canOpenChannel").empty());
    const std::vector<vg730emu::CanCall> closes = log.Of("canClose");
    ASSERT_FALSE(closes.empty());
    const std::int64_t h = closes.front().args.at(0);
    EXPECT_GE(h, 0);
    for (std::size_t i = 1; i < closes.size(); ++i) {
        EXPECT_NE(closes[i].args.at(0), h) << "closed twice";
    }
}

struct BaudrateCase {
    const char* label;
    bool open;
    bool onBus;
    uint32_t baudrate;
};

class CanEmulatedBaudrate : public CanEmulatedBackEnd,
                            public testing::WithParamInterface<BaudrateCase> {};

TEST_P(CanEmulatedBaudrate, StoresTheRateAndLeavesTheChannelAsItSays) {
    const BaudrateCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    const TCanChannelEx& ch = api.CanChannel();
    if (c.open) {
        api.SetActive(true);
    }
    if (c.onBus) {
        api.SetBusActive(true);
    }
    ASSERT_EQ(api.Active(), c.open);

    // The library's translation of its 50 kbit/s code, for comparison.
    int32_t rate = CanLib::Bitrate50K;
    uint32_t t1 = 0, t2 = 0, sjw = 0, samples = 0, sync = 0;
    UsableCanEntries()->canTranslateBaud(&rate, &t1, &t2, &sjw, &samples, &sync);
    ASSERT_EQ(rate, 50000);

    // What the channel must store and hand the library: the translation of the code for
    // 50000, the rate itself with the timing of creation otherwise.
    const bool code = c.baudrate == 50000;
    const int32_t expectedRate = code ? rate : static_cast<int32_t>(c.baudrate);
    const std::vector<int32_t> timing =
        code ? std::vector<int32_t>{static_cast<int32_t>(t1), static_cast<int32_t>(t2),
                                    static_cast<int32_t>(sjw), static_cast<int32_t>(samples)}
             : std::vector<int32_t>{4, 3, 1, 1};
    const auto busParams = [&](TCanHandle h) {
        return library_calls::Call("canSetBusParams", h, expectedRate, timing[0], timing[1],
                                   timing[2], timing[3], 0);
    };

    const TCanHandle before = ch.CanHnd();
    library_calls::Clear();
    api.SetBaudrate(c.baudrate);
    const vg730emu::CanCallLog log = library_calls::Read();
    EXPECT_EQ(api.Baudrate(), static_cast<uint32_t>(expectedRate));
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}), timing);
    EXPECT_EQ(library_calls::Texts(log, {"canTranslateBaud"}),
              code ? std::vector<std::string>{"canTranslateBaud -7"} : std::vector<std::string>{});

    // A closed channel stays closed; an open one ends open and on the bus.
    EXPECT_EQ(api.Active(), c.open);
    EXPECT_EQ(api.BusActive(), c.open);
    using library_calls::Call;
    if (c.open) {
        // Closed (which also takes it off the bus), opened and put on the bus again: the
        // library gets the new values at the open and again on the bus.
        const TCanHandle h = ch.CanHnd();
        EXPECT_GE(h, 0);
        EXPECT_EQ(
            library_calls::Texts(
                log, {"canClose", "canBusOff", "canOpenChannel", "canSetBusParams", "canBusOn"}),
            (std::vector<std::string>{Call("canClose", before), Call("canOpenChannel", 0, 0xA0),
                                      busParams(h), busParams(h), Call("canBusOn", h)}));
    } else {
        EXPECT_EQ(log.Count("canSetBusParams"), 0u);
        EXPECT_EQ(log.Count("canOpenChannel"), 0u);
        // Opened later, it hands the library what was stored.
        library_calls::Clear();
        api.Open();
        EXPECT_EQ(library_calls::Texts({"canSetBusParams"}),
                  std::vector<std::string>{busParams(api.CanChannel().CanHnd())});
    }
}

INSTANTIATE_TEST_SUITE_P(Can, CanEmulatedBaudrate,
                         testing::Values(BaudrateCase{"Closed50000", false, false, 50000},
                                         BaudrateCase{"Closed125000", false, false, 125000},
                                         BaudrateCase{"OpenOffBus50000", true, false, 50000},
                                         BaudrateCase{"OpenOffBus125000", true, false, 125000},
                                         BaudrateCase{"OnBus125000", true, true, 125000},
                                         BaudrateCase{"OnBus50000", true, true, 50000}),
                         [](const testing::TestParamInfo<BaudrateCase>& info) {
                             return info.param.label;
                         });

TEST_F(CanEmulatedBackEnd, DownloadBaudrateChangeTakesTheChannelOffTheBusAndBack) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Online();
    ASSERT_TRUE(api.BusActive());
    api.DownloadBaudrateChangeOnOff(true);
    EXPECT_FALSE(api.BusActive());
    EXPECT_TRUE(api.Active());
    api.DownloadBaudrateChangeOnOff(false);
    EXPECT_TRUE(api.BusActive());
}

// The calls of a restart of a closed channel: open, then on the bus.
std::vector<std::string> RestartEntries() {
    return {"canOpenChannel",         "canIoCtl",     "canSetBusParams",
            "canSetBusOutputControl", "canSetNotify", "canSetBusParams",
            "canSetBusOutputControl", "canSetNotify", "canBusOn"};
}

TEST_F(CanEmulatedBackEnd, CanWriteOpensAClosedChannelAndSends) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    ASSERT_FALSE(api.Active());
    const uint8_t data[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04};
    library_calls::Clear();
    EXPECT_TRUE(api.CanWrite(TCanMsg::Create(0x18FF0001, std::span(data, 5), true, false, 0)));
    EXPECT_TRUE(api.Active());
    EXPECT_TRUE(api.BusActive());
    EXPECT_TRUE(api.DeviceHandleOK());
    const TCanHandle h = api.CanChannel().CanHnd();
    std::vector<std::string> entries = RestartEntries();
    entries.push_back("canWrite");
    EXPECT_EQ(library_calls::Entries(), entries);
    EXPECT_EQ(library_calls::Texts({"canOpenChannel"}),
              std::vector<std::string>{library_calls::Call("canOpenChannel", 0, 0xA0)});

    // The flags follow Ext, the length is Len up to the 8 bytes a message holds; Echo and the
    // time stamps are not sent.
    struct Case {
        uint32_t id;
        uint32_t len; // the message's Len
        bool ext;
        bool echo;
        uint32_t flags;   // what the library must be given
        uint32_t length;  // the length it must be given
        const char* data; // the bytes it must be given
    };
    const std::vector<Case> cases = {
        {0x7FF, 2, false, false, 2, 2, " data=de ad"},
        {0x1ABCDEF0, 8, true, true, 4, 8, " data=de ad be ef 01 02 03 04"},
        {0x123, 0, false, true, 2, 0, ""},
        {0x5, 1, true, false, 4, 1, " data=de"},
        {0x6, 9, false, false, 2, 8, " data=de ad be ef 01 02 03 04"},
        {0x7, 15, true, false, 4, 8, " data=de ad be ef 01 02 03 04"},
    };
    for (const Case& c : cases) {
        library_calls::Clear();
        TCanMsg msg = TCanMsg::Create(c.id, data, c.ext, c.echo, 1234);
        msg.Len = c.len;
        msg.TimeStampF32 = 1.5f;
        EXPECT_TRUE(api.CanWrite(msg)) << c.id;
        EXPECT_EQ(library_calls::Texts(),
                  std::vector<std::string>{
                      library_calls::Call("canWrite", h, c.id, c.length, c.flags) + c.data});
    }
}

TEST_F(CanEmulatedBackEnd, CanReadOnAClosedChannelWaitsAndGivesNothing) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    TCanMsg msg = TCanMsg::Create(0x55, {}, false, false, 77);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(api.CanRead(msg, 200));
    // Sleep may wake one timer tick early.
    EXPECT_GE(GetTickCount() - start, 180u);
    EXPECT_EQ(msg.ID, 0x55u);
    EXPECT_EQ(msg.TimeStamp, 77u);
}

TEST_F(CanEmulatedBackEnd, ResetEndsOpenOnTheBusWithTheNewRateAndChannel) {
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"add 1");
    TVnCanApi& api = Create();
    api.Online();
    const TCanHandle before = api.CanChannel().CanHnd();
    library_calls::Clear();
    const DWORD start = GetTickCount();
    api.Reset(125000, 1);
    EXPECT_GE(GetTickCount() - start, 480u);
    EXPECT_EQ(api.channel(), 1);
    EXPECT_EQ(api.Baudrate(), 125000u);
    EXPECT_TRUE(api.Active());
    EXPECT_TRUE(api.BusActive());
    const TCanHandle h = api.CanChannel().CanHnd();
    EXPECT_GE(h, 0);
    // Off the bus, closed, then the new channel opened with the new rate and put on the bus.
    std::vector<std::string> entries = {"canBusOff", "canClose"};
    for (const std::string& entry : RestartEntries()) {
        entries.push_back(entry);
    }
    EXPECT_EQ(library_calls::Entries(), entries);
    using library_calls::Call;
    EXPECT_EQ(library_calls::Texts({"canBusOff", "canClose", "canOpenChannel", "canSetBusParams"}),
              (std::vector<std::string>{Call("canBusOff", before), Call("canClose", before),
                                        Call("canOpenChannel", 1, 0xA0),
                                        Call("canSetBusParams", h, 125000, 4, 3, 1, 1, 0),
                                        Call("canSetBusParams", h, 125000, 4, 3, 1, 1, 0)}));
}

TEST_F(CanEmulatedBackEnd, DestroyingItReleasesTheLibrarySoTheNextOneLoadsIt) {
    emulator_tool::Must(L"add 0");
    const std::wstring library = GetSystemFolder() + GatewayDll;
    DebugOutputCapture capture;
    library_calls::Clear();
    Create().Open();
    const TCanHandle h = FApi->CanChannel().CanHnd();
    EXPECT_NE(GetModuleHandleW(library.c_str()), nullptr);
    FApi.reset();
    EXPECT_FALSE(CanDllLoaded());
    EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);
    // The open channel was closed, then the library was told twice that it is unloaded.
    std::vector<std::string> tail = library_calls::Texts();
    ASSERT_GE(tail.size(), 3u);
    tail.erase(tail.begin(), tail.end() - 3);
    EXPECT_EQ(tail, (std::vector<std::string>{library_calls::Call("canClose", h),
                                              "canUnloadLibrary", "canUnloadLibrary"}));
    TVnCanApi& again = Create();
    EXPECT_TRUE(CanDllLoaded());
    EXPECT_EQ(again.ChannelCount(), 1u);
    const vg730emu::CanCallLog log = library_calls::Read();
    EXPECT_EQ(log.Count("canInitializeLibrary"), 2u);
    EXPECT_EQ(log.Count("canUnloadLibrary"), 2u);
    const std::string name = WideToUtf8(library);
    EXPECT_EQ(capture.Texts(),
              (std::vector<std::string>{"LoadLibrary: " + name, "LoadLibrary was a success",
                                        "FreeLibrary: " + name, "LoadLibrary: " + name,
                                        "LoadLibrary was a success"}));
}

TEST_F(CanEmulatedBackEnd, TheGenericCreatorUsesTheVendorLibraryOutsideGatewayMode) {
    emulator_tool::Must(L"add 0 --name \"X VG730 #0\"");
    TVarnikCanApiCreator creator;
    std::unique_ptr<TSdCanApi> api = creator.CreateCanApi();
    EXPECT_EQ(CanDllName(), L"VNCOMM32.dll");
    EXPECT_FALSE(GatewayMode());
    ASSERT_EQ(api->ChannelCount(), 1u);
    EXPECT_EQ(api->ChannelNames(0), L"X VG730 #0");
}

// A write the library answers with -10 or -15 reopens the channel once (a new handle) and still
// fails; other failures leave the channel as it is.
struct WriteFailureCase {
    const char* label;
    int32_t status;
    bool restarted;
};

class CanEmulatedWriteFailure : public CanEmulatedBackEnd,
                                public testing::WithParamInterface<WriteFailureCase> {
protected:
    void TearDown() override {
        CanEmulatedBackEnd::TearDown();
        emulator_tool::Must(L"entry-fault canWrite normal");
    }
};

TEST_P(CanEmulatedWriteFailure, RestartsOnlyAfterTheTwoStatuses) {
    const WriteFailureCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"entry-fault canWrite " + std::to_wstring(c.status));
    TVnCanApi& api = Create();
    api.Online();
    ASSERT_TRUE(api.BusActive());
    const TCanHandle before = api.CanChannel().CanHnd();
    ASSERT_GE(before, 0);
    int written = 0;
    api.CanChannel().SetOnWrite(
        [&](TObject*, int32_t, const void*, int32_t, int32_t) { ++written; });
    const uint8_t data[3] = {1, 2, 3};
    library_calls::Clear();
    EXPECT_FALSE(api.CanWrite(TCanMsg::Create(0x10, data, false, false, 0)));
    EXPECT_EQ(written, 0);
    EXPECT_FALSE(api.DeviceHandleOK());
    EXPECT_TRUE(api.Active());
    EXPECT_TRUE(api.BusActive());
    EXPECT_EQ(api.CanChannel().CanHnd() != before, c.restarted)
        << "handle " << before << " -> " << api.CanChannel().CanHnd();
    // Once: the failed write, then (for the two statuses) closed and opened again, on the bus.
    std::vector<std::string> entries = {"canWrite"};
    if (c.restarted) {
        entries.push_back("canClose");
        for (const std::string& entry : RestartEntries()) {
            entries.push_back(entry);
        }
    }
    EXPECT_EQ(library_calls::Entries(), entries);
    if (c.restarted) {
        EXPECT_EQ(library_calls::Texts({"canClose", "canOpenChannel"}),
                  (std::vector<std::string>{library_calls::Call("canClose", before),
                                            library_calls::Call("canOpenChannel", 0, 0xA0)}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedWriteFailure,
    testing::Values(WriteFailureCase{"Minus10", -10, true}, WriteFailureCase{"Minus15", -15, true},
                    WriteFailureCase{"Minus1", -1, false}, WriteFailureCase{"Minus13", -13, false}),
    [](const testing::TestParamInfo<WriteFailureCase>& info) { return info.param.label; });

TEST_F(CanEmulatedBackEnd, ASuccessfulWriteMakesTheHandleGoodAgain) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Online();
    const uint8_t data[1] = {9};
    // An identifier the library refuses makes the write fail.
    EXPECT_FALSE(api.CanWrite(TCanMsg::Create(0x800, data, false, false, 0)));
    EXPECT_FALSE(api.DeviceHandleOK());
    EXPECT_TRUE(api.CanWrite(TCanMsg::Create(0x7FF, data, false, false, 0)));
    EXPECT_TRUE(api.DeviceHandleOK());
}

// In gateway mode with boot mode forced, a write that leaves 2 or more frames waiting flushes
// them; otherwise they wait. The emulator holds frames back to make them wait.
struct FlushCase {
    const char* label;
    bool gateway;
    bool bootForced;
    int writes;
    uint32_t waiting;
};

class CanEmulatedTxFlush : public CanEmulatedBackEnd,
                           public testing::WithParamInterface<FlushCase> {};

TEST_P(CanEmulatedTxFlush, FlushesFromTwoWaitingFramesOnlyInGatewayBootMode) {
    const FlushCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    std::unique_ptr<TSdCanApi> generic;
    TVnCanApi* api = nullptr;
    if (c.gateway) {
        api = &Create();
    } else {
        generic = TVarnikCanApiCreator().CreateCanApi();
        api = static_cast<TVnCanApi*>(generic.get());
    }
    api->ForceBootMode(c.bootForced);
    EXPECT_EQ(BootModeForced(), c.bootForced);
    api->Online();
    uint8_t hold = 1;
    ASSERT_EQ(api->IoCtl(vg730emu::CAN_IOCTL_HOLD_TX, &hold, 1), 0);
    const uint8_t data[2] = {5, 6};
    for (int i = 0; i < c.writes; ++i) {
        EXPECT_TRUE(api->CanWrite(TCanMsg::Create(0x200 + i, data, false, false, 0)));
    }
    uint32_t waiting = 99;
    ASSERT_EQ(api->IoCtl(CanLib::IoCtlTxBufferLevel, &waiting, 4), 0);
    EXPECT_EQ(waiting, c.waiting);
    generic.reset();
}

INSTANTIATE_TEST_SUITE_P(Can, CanEmulatedTxFlush,
                         testing::Values(FlushCase{"GatewayBootOneFrame", true, true, 1, 1},
                                         FlushCase{"GatewayBootTwoFrames", true, true, 2, 0},
                                         FlushCase{"GatewayBootThreeFrames", true, true, 3, 1},
                                         FlushCase{"GatewayNoBoot", true, false, 3, 3},
                                         FlushCase{"GenericBoot", false, true, 3, 3}),
                         [](const testing::TestParamInfo<FlushCase>& info) {
                             return info.param.label;
                         });

// A frame the bus delivers, as CanRead gives it: Ext from flag 0x04, and no message for an error
// frame (flag 0x20). The frames are put on the bus by the emulator's hooks: a frame as given,
// or an error frame with extra flags.
struct ReadCase {
    const char* label;
    bool errorFrameHook; // the error-frame hook, else the received-frame hook
    uint32_t flags;      // the frame's flags; for the error-frame hook the extra ones
    bool ext;            // Msg.Ext afterwards
    bool message;        // what CanRead returns
};

class CanEmulatedRead : public CanEmulatedBackEnd, public testing::WithParamInterface<ReadCase> {};

TEST_P(CanEmulatedRead, ExtFromFlag4AndNoMessageForAnErrorFrame) {
    const ReadCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Online();
    ASSERT_TRUE(api.BusActive());
    if (c.errorFrameHook) {
        uint32_t extra = c.flags;
        ASSERT_EQ(
            api.IoCtl(vg730emu::CAN_IOCTL_ERROR_FRAME, c.flags ? &extra : nullptr, c.flags ? 4 : 0),
            0);
    } else {
        vg730emu::CanInjectedFrame frame{0x1234567, 6, c.flags, {9, 8, 7, 6, 5, 4, 0xEE, 0xEE}};
        ASSERT_EQ(api.IoCtl(vg730emu::CAN_IOCTL_INJECT_FRAME, &frame, sizeof(frame)), 0);
    }
    // Ext starts as the opposite of what must come out.
    TCanMsg msg = TCanMsg::Create(0, {}, !c.ext, false, 0);
    library_calls::Clear();
    EXPECT_EQ(api.CanRead(msg, 1500), c.message);
    EXPECT_EQ(msg.Ext, c.ext);
    if (!c.errorFrameHook) {
        EXPECT_EQ(msg.ID, 0x1234567u);
        EXPECT_EQ(msg.GetData(), (U8Array{9, 8, 7, 6, 5, 4}));
    }
    // The time-out is handed to the library as it came.
    EXPECT_EQ(library_calls::Texts(), std::vector<std::string>{library_calls::Call(
                                          "canReadWait", api.CanChannel().CanHnd(), 1500)});
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedRead,
    testing::Values(ReadCase{"Standard", false, 0x02, false, true},
                    ReadCase{"Extended", false, 0x04, true, true},
                    ReadCase{"ErrorFrameExtended", false, 0x24, true, false},
                    ReadCase{"ErrorFrame", false, 0x20, false, false},
                    ReadCase{"ErrorFrameHookExtended", true, 0x04, true, false},
                    ReadCase{"ErrorFrameHook", true, 0x00, false, false}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.label; });

// Reading what the channel itself sent (the bus gives a channel its own frames back) and an
// error frame.
TEST_F(CanEmulatedBackEnd, CanReadGivesBackWhatWasSentAndRefusesErrorFrames) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Online();
    const uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    struct Case {
        uint32_t id;
        size_t length;
        bool ext;
    };
    const std::vector<Case> cases = {{0x1ABCDE01, 8, true}, {0x123, 3, false}, {0x7FF, 0, false}};
    for (const Case& c : cases) {
        ASSERT_TRUE(
            api.CanWrite(TCanMsg::Create(c.id, std::span(data, c.length), c.ext, false, 0)));
        TCanMsg msg = TCanMsg::Create(0, {}, !c.ext, false, 0);
        ASSERT_TRUE(api.CanRead(msg, 2000)) << c.id;
        EXPECT_EQ(msg.ID, c.id);
        EXPECT_EQ(msg.Ext, c.ext);
        EXPECT_EQ(msg.GetData(), U8Array(data, data + c.length));
    }
    // An error frame is read but is no message.
    ASSERT_EQ(api.IoCtl(vg730emu::CAN_IOCTL_ERROR_FRAME, nullptr, 0), 0);
    TCanMsg msg = TCanMsg::Create(0, {}, true, false, 0);
    EXPECT_FALSE(api.CanRead(msg, 2000));
    EXPECT_FALSE(msg.Ext);
    // Nothing left: the read waits its time and fails.
    EXPECT_FALSE(api.CanRead(msg, 100));
}

// While a back-end exists the library holds the gateway, so the flash programmer cannot open it
// for itself; destroying the back-end lets it go.
TEST_F(CanEmulatedBackEnd, TheGatewayIsFreeForTheFlasherOnlyAfterTheBackEndIsGone) {
    emulator_tool::Must(L"add 0");
    const auto openExclusive = [] {
        UniqueFileHandle device(CreateFileA("\\\\.\\Quorvelxlink0.exclusive",
                                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            0, nullptr));
        return device.valid();
    };
    EXPECT_TRUE(openExclusive());
    TVnCanApi& api = Create();
    EXPECT_EQ(api.ChannelCount(), 1u);
    EXPECT_FALSE(openExclusive());
    FApi.reset();
    EXPECT_TRUE(openExclusive());
}

// The back-end's receive and transmit events are the channel's: assigning them asks the
// library for those notifications, which then arrive through the channel's window.
TEST_F(CanEmulatedBackEnd, ReceiveAndTransmitEventsAreTheChannels) {
    emulator_tool::Must(L"add 0");
    TVnCanApi& api = Create();
    api.Online();
    int received = 0;
    int sent = 0;
    api.SetOnCanRx([&](TObject*) { ++received; });
    api.SetEvent(2, [&](TObject*) { ++sent; });
    api.SetEvent(3, [&](TObject*) { sent += 100; }); // no such event of the back-end
    EXPECT_TRUE(api.CanChannel().NotifyFlags().Contains(ccNotifyRx));
    EXPECT_TRUE(api.CanChannel().NotifyFlags().Contains(ccNotifyTx));
    EXPECT_TRUE(api.OnCanRx());
    EXPECT_TRUE(api.CanChannel().OnCanTx());
    EXPECT_FALSE(api.GetEvent(3));
    const uint8_t data[1] = {1};
    ASSERT_TRUE(api.CanWrite(TCanMsg::Create(0x42, data, false, false, 0)));
    EXPECT_TRUE(PumpMessagesUntil([&] { return received == 1 && sent == 1; }, 5000));
    PumpMessagesFor(30);
    EXPECT_EQ(received, 1);
    EXPECT_EQ(sent, 1);
    api.SetOnCanRx(nullptr);
    EXPECT_FALSE(api.CanChannel().NotifyFlags().Contains(ccNotifyRx));
    EXPECT_FALSE(api.CanChannel().OnCanRx());
}

} // namespace
