// The channel against the emulated CAN library: creation, naming, firmware text, opening, the
// guards, bit-rate translation, writing and the notifications.
#include "CanBus.h"
#include "CanChanEx.h"
#include "EmulatorSetup.h"
#include "LibraryCalls.h"
#include "MessagePump.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// A window of the test that counts the library's receive notifications sent to it.
class NotifySink {
public:
    NotifySink() {
        static const ATOM registered = [] {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = &NotifySink::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"CanTestNotifySink";
            return RegisterClassExW(&wc);
        }();
        (void)registered;
        FWindow.reset(CreateWindowExW(0, L"CanTestNotifySink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, GetModuleHandleW(nullptr), nullptr));
        SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    HWND Window() const { return FWindow.get(); }
    int Received() const { return FReceived; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* sink = reinterpret_cast<NotifySink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (sink && message == CanLib::NotifyMessage && LOWORD(lParam) == CanLib::EventRx) {
            ++sink->FReceived;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    UniqueHwnd FWindow;
    int FReceived = 0;
};

class CanEmulatedChannel : public testing::Test {
protected:
    void SetUp() override {
        emulator_tool::StartFromKnownState();
        UnloadCanDll();
        InitializeCanUnit();
    }
    void TearDown() override {
        FOwner.reset();
        UnloadCanDll();
        InitializeCanUnit();
    }

    // A channel over the gateway's library, in gateway mode or not.
    TCanChannelEx& Create(bool gatewayMode = true) {
        SetGatewayMode(gatewayMode);
        SetCanDllName(FindGatewayDll());
        FOwner = std::make_unique<TComponent>(nullptr);
        return *new TCanChannelEx(FOwner.get());
    }

    static std::wstring MessageOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const ECanChan& e) {
            return e.Message();
        }
        return L"(no error)";
    }

    std::unique_ptr<TComponent> FOwner;
};

TEST_F(CanEmulatedChannel, ValuesAfterCreationWithAGateway) {
    emulator_tool::Must(L"add 0");
    library_calls::Clear();
    TCanChannelEx& ch = Create();
    // Creating loads and initialises the library and asks for the channel count, nothing more.
    EXPECT_EQ(library_calls::Entries(),
              (std::vector<std::string>{"canInitializeLibrary", "canGetNumberOfChannels"}));
    EXPECT_FALSE(ch.LoadFailed());
    EXPECT_EQ(ch.CanHnd(), -1);
    EXPECT_EQ(ch.driver(), ccNormal);
    EXPECT_EQ(ch.BitRate(), 1000000);
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{4, 3, 1, 1}));
    EXPECT_EQ(ch.channel(), 0);
    EXPECT_TRUE(ch.options().Empty());
    EXPECT_TRUE(ch.NotifyFlags().Empty());
    EXPECT_FALSE(ch.Active());
    EXPECT_FALSE(ch.BusActive());
    for (int index = 1; index <= 4; ++index) {
        EXPECT_FALSE(ch.GetEvent(index)) << index;
    }
    EXPECT_FALSE(ch.OnWrite());
    EXPECT_EQ(ch.ChannelCount(), 1u);
    EXPECT_TRUE(IsWindow(ch.WinHandle()));
}

TEST_F(CanEmulatedChannel, NoChannelIsAFailedLoad) {
    library_calls::Clear();
    TCanChannelEx& ch = Create();
    EXPECT_TRUE(ch.LoadFailed());
    EXPECT_EQ(ch.ChannelCount(), 0u);
    ch.Open();
    ch.SetActive(true);
    EXPECT_FALSE(ch.Active());
    EXPECT_EQ(ch.CanHnd(), -1);
    // A failed channel never asks the library to open anything.
    EXPECT_EQ(library_calls::Read().Count("canOpenChannel"), 0u);
    EXPECT_EQ(library_calls::Read().Count("canInitializeLibrary"), 1u);
}

TEST_F(CanEmulatedChannel, CountsGatewaysAndVirtualChannels) {
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"add 7");
    emulator_tool::Must(L"add-virtual");
    TCanChannelEx& ch = Create();
    EXPECT_EQ(ch.ChannelCount(), 3u);
}

struct NamingCase {
    const char* label;
    const wchar_t* add; // vg730emu command that makes channel 0
    bool gatewayMode;
    const wchar_t* reported;
    bool asksForEan; // the name is one gateway mode renames: item 11 is asked for after 13
};

class CanEmulatedNaming : public CanEmulatedChannel,
                          public testing::WithParamInterface<NamingCase> {};

TEST_P(CanEmulatedNaming, NameOfChannelZero) {
    const NamingCase& c = GetParam();
    emulator_tool::Must(c.add);
    TCanChannelEx& ch = Create(c.gatewayMode);
    library_calls::Clear();
    EXPECT_EQ(ch.ChannelNames(0), c.reported);
    std::vector<std::string> asked = {library_calls::Call("canGetChannelData", 0, 13, 262144)};
    if (c.asksForEan) {
        asked.push_back(library_calls::Call("canGetChannelData", 0, 11, 262144));
    }
    EXPECT_EQ(library_calls::Texts(), asked);
    EXPECT_EQ(ch.ChannelName(), c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedNaming,
    testing::Values(
        NamingCase{"FirstEan", L"add 2 --name \"X VG730 #2\"", true, L"VG730 #2", true},
        NamingCase{"FirstEanExplicit", L"add 0 --ean 0007300099001237 --name \"X VG730 #0\"", true,
                   L"VG730 #0", true},
        NamingCase{"SecondEan", L"add 2 --ean 0007300099002005 --name \"X VG730 #2 Y\"", true,
                   L"VG730-2 #2 Y", true},
        NamingCase{"OtherEan", L"add 2 --ean 0000000000000001 --name \"X VG730 #2\"", true,
                   L"X VG730 #2 EAN: 0000000000000001", true},
        // A gateway whose library delivers no EAN: zeros, not the first bytes of the name.
        NamingCase{"NoEanReadsZeros", L"add 2 --no-ean --name \"X VG730 #2\"", true,
                   L"X VG730 #2 EAN: 0000000000000000", true},
        NamingCase{"NoEanWithoutHash", L"add 3 --no-ean --name \"VG730#3\"", true,
                   L"VG730#3 EAN: 0000000000000000", true},
        NamingCase{"NoHash", L"add 4 --name \"X VG730\"", true, L"VG730", true},
        NamingCase{"HashNeedsTheBlank", L"add 3 --name \"VG730#3\"", true, L"VG730", true},
        NamingCase{"TailAfterTheNumber", L"add 3 --name \"Tolvak VG730 #3 (spare unit)\"", true,
                   L"VG730 #3 (spare unit)", true},
        NamingCase{"NotGatewayMode", L"add 0 --name \"X VG730 #0\"", false, L"X VG730 #0", false},
        NamingCase{"VirtualUnchanged", L"add-virtual --name \"X Virtual VG730\"", true,
                   L"X Virtual VG730", true},
        NamingCase{"LowerCaseUnchanged", L"add 5 --name \"Gateway vg730 #5\"", true,
                   L"Gateway vg730 #5", false}),
    [](const testing::TestParamInfo<NamingCase>& info) { return info.param.label; });

TEST_F(CanEmulatedChannel, FirmwareWordsReadAsText) {
    struct Case {
        const wchar_t* firmware;
        const wchar_t* text;
    };
    const std::vector<Case> cases = {
        {L"2.05.177", L"2.05.177"}, {L"3.10.300", L"3.10.300"}, {L"2.05.176", L"2.05.176"}};
    for (size_t i = 0; i < cases.size(); ++i) {
        emulator_tool::Must(L"add " + std::to_wstring(i) + L" --firmware " + cases[i].firmware);
    }
    TCanChannelEx& ch = Create();
    ASSERT_EQ(ch.ChannelCount(), cases.size());
    // The library lists the gateways by device number.
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(ch.ChannelFirmware(static_cast<int32_t>(i)), cases[i].text) << i;
    }
}

// A library that answers the item queries with a failure and writes nothing: the firmware reads
// as zeros and the name as empty text (which is no gateway name, so no EAN is asked for).
TEST_F(CanEmulatedChannel, NothingDeliveredReadsAsZeroFirmwareAndNoName) {
    emulator_tool::Must(L"add 0 --firmware 2.05.177");
    emulator_tool::Must(L"entry-fault canGetChannelData -3");
    const ScopeGuard normal([] { emulator_tool::Run(L"entry-fault canGetChannelData normal"); });
    TCanChannelEx& ch = Create();
    ASSERT_EQ(ch.ChannelCount(), 1u);
    library_calls::Clear();
    EXPECT_EQ(ch.ChannelFirmware(0), L"0.00.0");
    EXPECT_EQ(ch.ChannelNames(0), L"");
    using library_calls::Call;
    EXPECT_EQ(library_calls::Texts(),
              (std::vector<std::string>{Call("canGetChannelData", 0, 9, 8),
                                        Call("canGetChannelData", 0, 13, 262144)}));
}

TEST_F(CanEmulatedChannel, OpenGivesAHandleAndCloseTakesItBack) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    int changes = 0;
    ch.SetOnStateChanged([&](TObject* sender) {
        EXPECT_EQ(sender, &ch);
        ++changes;
    });
    ch.Open();
    EXPECT_TRUE(ch.Active());
    EXPECT_FALSE(ch.BusActive());
    EXPECT_GE(ch.CanHnd(), 0);
    EXPECT_EQ(changes, 1);
    ch.Open(); // already open: nothing
    EXPECT_EQ(changes, 1);
    ch.SetBusActive(true);
    EXPECT_TRUE(ch.BusActive());
    EXPECT_EQ(changes, 2);
    ch.Close();
    EXPECT_FALSE(ch.Active());
    EXPECT_FALSE(ch.BusActive());
    EXPECT_EQ(ch.CanHnd(), -1);
    EXPECT_EQ(changes, 3);
    // Through the property the change is told once more, also when nothing happens.
    ch.SetActive(false);
    EXPECT_EQ(changes, 4);
    ch.SetActive(true);
    EXPECT_TRUE(ch.Active());
    EXPECT_EQ(changes, 6);
}

TEST_F(CanEmulatedChannel, GuardsOfAnOpenChannelAndOfOneOnTheBus) {
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"add 1");
    TCanChannelEx& ch = Create();
    ch.Open();
    ASSERT_TRUE(ch.Active());
    // Open: channel and options are refused, timing and driver are not.
    EXPECT_EQ(MessageOf([&] { ch.SetChannel(1); }), L"Channel is active");
    EXPECT_EQ(MessageOf([&] { ch.SetOptions({ccNoVirtual}); }), L"Channel is active");
    EXPECT_EQ(ch.channel(), 0);
    EXPECT_TRUE(ch.options().Empty());
    EXPECT_EQ(MessageOf([&] { ch.SetTSeg1(5); }), L"(no error)");
    EXPECT_EQ(MessageOf([&] { ch.SetDriver(ccSilent); }), L"(no error)");
    EXPECT_EQ(MessageOf([&] { ch.SetBitRate(500000); }), L"(no error)");
    ch.SetDriver(ccNormal);

    // On the bus: every timing and driver setting is refused and nothing changes.
    ch.BusOn();
    ASSERT_TRUE(ch.BusActive());
    const std::vector<std::pair<const char*, std::function<void()>>> refused = {
        {"TSeg1", [&] { ch.SetTSeg1(6); }},
        {"TSeg2", [&] { ch.SetTSeg2(6); }},
        {"SJW", [&] { ch.SetSJW(2); }},
        {"Samples", [&] { ch.SetSamples(3); }},
        {"driver", [&] { ch.SetDriver(ccSilent); }},
        {"BitRate", [&] { ch.SetBitRate(125000); }},
        {"BitRate code", [&] { ch.SetBitRate(CanLib::Bitrate50K); }},
        {"channel", [&] { ch.SetChannel(1); }},
    };
    for (const auto& [what, action] : refused) {
        const std::wstring expected =
            std::string(what) == "channel" ? L"Channel is active" : L"Channel is on-bus";
        EXPECT_EQ(MessageOf(action), expected) << what;
    }
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{5, 3, 1, 1}));
    EXPECT_EQ(ch.BitRate(), 500000);
    EXPECT_EQ(ch.driver(), ccNormal);

    // Off the bus again, closed: all is accepted.
    ch.BusOff();
    EXPECT_EQ(MessageOf([&] { ch.SetSJW(2); }), L"(no error)");
    ch.Close();
    EXPECT_EQ(MessageOf([&] { ch.SetChannel(1); }), L"(no error)");
    EXPECT_EQ(MessageOf([&] { ch.SetOptions({ccNotExclusive}); }), L"(no error)");
    EXPECT_EQ(ch.channel(), 1);
}

TEST_F(CanEmulatedChannel, BitRateCodeTakesTheLibrarysTranslation) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    // The library itself is the reference for what the code stands for.
    int32_t rate = CanLib::Bitrate50K;
    uint32_t tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, sync = 0;
    ASSERT_NE(UsableCanEntries(), nullptr);
    UsableCanEntries()->canTranslateBaud(&rate, &tseg1, &tseg2, &sjw, &samples, &sync);
    ASSERT_EQ(rate, 50000);

    int changes = 0;
    ch.SetOnStateChanged([&](TObject*) { ++changes; });
    library_calls::Clear();
    ch.SetBitRate(CanLib::Bitrate50K);
    EXPECT_EQ(library_calls::Texts(), std::vector<std::string>{"canTranslateBaud -7"});
    EXPECT_EQ(ch.BitRate(), 50000);
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{static_cast<int32_t>(tseg1), static_cast<int32_t>(tseg2),
                                    static_cast<int32_t>(sjw), static_cast<int32_t>(samples)}));
    EXPECT_EQ(changes, 1);

    // A plain bit rate leaves the timing values as they are and asks the library nothing.
    ch.SetTSeg1(9);
    library_calls::Clear();
    ch.SetBitRate(250000);
    EXPECT_EQ(library_calls::Read().total, 0u);
    EXPECT_EQ(ch.BitRate(), 250000);
    EXPECT_EQ(ch.TSeg1(), 9);
    EXPECT_EQ(ch.TSeg2(), static_cast<int32_t>(tseg2));
}

TEST_F(CanEmulatedChannel, AcceptedWritesAreToldToOnWrite) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    struct Written {
        TObject* sender;
        int32_t id;
        const void* msg;
        int32_t dlc;
        int32_t flag;
    };
    std::vector<Written> written;
    ch.SetOnWrite([&](TObject* sender, int32_t id, const void* msg, int32_t dlc, int32_t flag) {
        written.push_back({sender, id, msg, dlc, flag});
    });
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};

    // Closed: the library refuses the handle; its status comes back and nothing is told.
    library_calls::Clear();
    const int32_t refused = ch.write(0x123, data, 3, CanLib::MsgStandard);
    EXPECT_NE(refused, 0);
    EXPECT_TRUE(written.empty());
    using library_calls::Call;
    EXPECT_EQ(library_calls::Texts(),
              std::vector<std::string>{Call("canWrite", -1, 0x123, 3, 2) + " data=01 02 03"});

    ch.Open();
    ch.BusOn();
    ASSERT_TRUE(ch.BusActive());
    library_calls::Clear();
    EXPECT_EQ(ch.write(0x123, data, 3, CanLib::MsgStandard), 0);
    EXPECT_EQ(ch.write(0x1ABCDEF, data + 4, 4, CanLib::MsgExtended), 0);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].sender, &ch);
    EXPECT_EQ(written[0].id, 0x123);
    EXPECT_EQ(written[0].msg, data);
    EXPECT_EQ(written[0].dlc, 3);
    EXPECT_EQ(written[0].flag, static_cast<int32_t>(CanLib::MsgStandard));
    EXPECT_EQ(written[1].sender, &ch);
    EXPECT_EQ(written[1].id, 0x1ABCDEF);
    EXPECT_EQ(written[1].msg, data + 4);
    EXPECT_EQ(written[1].dlc, 4);
    EXPECT_EQ(written[1].flag, static_cast<int32_t>(CanLib::MsgExtended));
    // OnWrite was told what the library was given: handle, identifier, length, flags, bytes.
    std::vector<std::string> told;
    for (const Written& w : written) {
        std::string text = Call("canWrite", ch.CanHnd(), w.id, w.dlc, w.flag) + " data=";
        for (int32_t i = 0; i < w.dlc; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof(byte), i == 0 ? "%02x" : " %02x",
                          static_cast<const uint8_t*>(w.msg)[i]);
            text += byte;
        }
        told.push_back(text);
    }
    EXPECT_EQ(library_calls::Texts(), told);
    EXPECT_EQ(told, (std::vector<std::string>{
                        Call("canWrite", ch.CanHnd(), 0x123, 3, 2) + " data=01 02 03",
                        Call("canWrite", ch.CanHnd(), 0x1ABCDEF, 4, 4) + " data=05 06 07 08"}));
}

// Whatever status the library answers a write with comes back unchanged; only 0 is told.
struct WriteStatusCase {
    const char* label;
    const wchar_t* fault; // the status canWrite answers, or "normal"
    int32_t status;
};

class CanEmulatedWriteStatus : public CanEmulatedChannel,
                               public testing::WithParamInterface<WriteStatusCase> {};

TEST_P(CanEmulatedWriteStatus, ComesBackAndOnlySuccessIsTold) {
    const WriteStatusCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(std::wstring(L"entry-fault canWrite ") + c.fault);
    const ScopeGuard normal([] { emulator_tool::Run(L"entry-fault canWrite normal"); });
    TCanChannelEx& ch = Create();
    ch.Open();
    ch.BusOn();
    int told = 0;
    ch.SetOnWrite([&](TObject*, int32_t, const void*, int32_t, int32_t) { ++told; });
    const uint8_t data[2] = {0xAA, 0x55};
    EXPECT_EQ(ch.write(0x42, data, 2, CanLib::MsgStandard), c.status);
    EXPECT_EQ(told, c.status == 0 ? 1 : 0);
    // The channel carries on as it was: a failed write is no state change.
    EXPECT_TRUE(ch.BusActive());
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedWriteStatus,
    testing::Values(WriteStatusCase{"Accepted", L"normal", 0}, WriteStatusCase{"Minus2", L"-2", -2},
                    WriteStatusCase{"Minus10", L"-10", -10}, WriteStatusCase{"Positive", L"7", 7}),
    [](const testing::TestParamInfo<WriteStatusCase>& info) { return info.param.label; });

TEST_F(CanEmulatedChannel, DestroyingAnOpenChannelClosesItInTheLibrary) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    const TCanHandle handle = ch.CanHnd();
    ASSERT_GE(handle, 0);
    FOwner.reset();
    // The handle is closed: the library refuses it now.
    ASSERT_NE(UsableCanEntries(), nullptr);
    EXPECT_NE(UsableCanEntries()->canBusOn(handle), 0);
}

// The hidden window turns message 17378 into the events by the low 16 bits of lParam. The
// messages are posted here as the library posts them.
TEST_F(CanEmulatedChannel, NotificationsReachTheirEventsInOrder) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    ch.BusOn();
    ASSERT_TRUE(ch.BusActive());
    // Whatever the library itself posted on going on the bus is dispatched before the handlers.
    PumpMessagesFor(100);
    std::vector<std::string> events;
    ch.SetOnCanRx([&](TObject* sender) {
        EXPECT_EQ(sender, &ch);
        events.push_back("rx");
    });
    ch.SetOnCanTx([&](TObject*) { events.push_back("tx"); });
    ch.SetOnCanError([&](TObject*) { events.push_back("error"); });
    ch.SetOnStateChanged([&](TObject*) { events.push_back("state"); });
    const HWND window = ch.WinHandle();
    const std::vector<std::pair<UINT, LPARAM>> posted = {
        {CanLib::NotifyMessage, MAKELPARAM(CanLib::EventRx, 0)},
        {CanLib::NotifyMessage, MAKELPARAM(CanLib::EventTx, 7)}, // high word is not the event
        {CanLib::NotifyMessage, 31999},                          // no event of the library
        {CanLib::NotifyMessage + 1, CanLib::EventRx},            // not the library's message
        {CanLib::NotifyMessage, MAKELPARAM(CanLib::EventError, 0xFFFF)},
        {CanLib::NotifyMessage, CanLib::EventStatus},
        {CanLib::NotifyMessage, CanLib::EventRx},
    };
    for (const auto& [message, lParam] : posted) {
        ASSERT_TRUE(PostMessageW(window, message, 0, lParam));
    }
    EXPECT_TRUE(PumpMessagesUntil([&] { return events.size() >= 5; }, 5000));
    PumpMessagesFor(50);
    // The status event read no off-bus bits: the channel stays on the bus.
    EXPECT_EQ(events, (std::vector<std::string>{"rx", "tx", "error", "state", "rx"}));
    EXPECT_TRUE(ch.BusActive());
}

TEST_F(CanEmulatedChannel, AnErrorInAHandlerIsReportedNotThrownThroughTheWindow) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    std::vector<std::wstring> reported;
    SetCanNotifyErrorHandler([&](const std::exception& error) {
        const auto* own = dynamic_cast<const Exception*>(&error);
        reported.push_back(own ? own->Message() : L"(not our error)");
    });
    const ScopeGuard restore([] { SetCanNotifyErrorHandler(nullptr); });
    int after = 0;
    ch.SetOnCanRx([](TObject*) { throw Exception(L"handler failed"); });
    ch.SetOnCanTx([&](TObject*) { ++after; });
    PostMessageW(ch.WinHandle(), CanLib::NotifyMessage, 0, CanLib::EventRx);
    PostMessageW(ch.WinHandle(), CanLib::NotifyMessage, 0, CanLib::EventTx);
    EXPECT_TRUE(PumpMessagesUntil([&] { return after == 1; }, 5000));
    EXPECT_EQ(reported, std::vector<std::wstring>{L"handler failed"});
}

// Opening calls the library in this order, with the flags of the options and the driver type
// of the driver setting, and asks for the notifications of the handlers assigned so far.
struct OpenCallsCase {
    const char* label;
    TCanChanOptions options;
    TCanChanDrivers driver;
    bool statusHandler;
    int32_t flags;
    uint32_t driverType;
    uint32_t notifyBits;
};

class CanEmulatedOpenCalls : public CanEmulatedChannel,
                             public testing::WithParamInterface<OpenCallsCase> {};

TEST_P(CanEmulatedOpenCalls, OpenPassesTheFlagsAndSettingsInOrder) {
    const OpenCallsCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"add 1");
    TCanChannelEx& ch = Create();
    ch.SetChannel(1);
    ch.SetOptions(c.options);
    ch.SetDriver(c.driver);
    ch.SetBitRate(125000);
    ch.SetTSeg1(13);
    ch.SetTSeg2(2);
    ch.SetSJW(2);
    ch.SetSamples(3);
    if (c.statusHandler) {
        ch.SetOnStateChanged([](TObject*) {});
    }
    library_calls::Clear();
    ch.Open();
    const TCanHandle h = ch.CanHnd();
    ASSERT_GE(h, 0);
    using library_calls::Call;
    EXPECT_EQ(library_calls::Texts(), (std::vector<std::string>{
                                          Call("canOpenChannel", 1, c.flags),
                                          Call("canIoCtl", h, 20, 1) + " data=01",
                                          Call("canSetBusParams", h, 125000, 13, 2, 2, 3, 0),
                                          Call("canSetBusOutputControl", h, c.driverType),
                                          Call("canSetNotify", h, ch.WinHandle(), c.notifyBits),
                                      }));
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedOpenCalls,
    testing::Values(
        OpenCallsCase{"NoOptions", {}, ccNormal, false, 0xA8, 4, 0x00},
        OpenCallsCase{"NotExclusive", {ccNotExclusive}, ccNormal, false, 0xA0, 4, 0x00},
        OpenCallsCase{"NoVirtual", {ccNoVirtual}, ccNormal, false, 0x88, 4, 0x00},
        OpenCallsCase{"BothOptions", {ccNotExclusive, ccNoVirtual}, ccNormal, false, 0x80, 4, 0x00},
        OpenCallsCase{"Silent", {ccNotExclusive}, ccSilent, false, 0xA0, 1, 0x00},
        OpenCallsCase{"StatusHandler", {}, ccNormal, true, 0xA8, 4, 0x08}),
    [](const testing::TestParamInfo<OpenCallsCase>& info) { return info.param.label; });

// Bus parameters the library refuses close the channel's handle; the channel still ends open,
// but without a handle: the one of the open is gone and must not be used or closed again.
TEST_F(CanEmulatedChannel, RefusedBusParametersCloseTheHandleAndLeaveNone) {
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"entry-fault canSetBusParams -1");
    const ScopeGuard normal([] { emulator_tool::Run(L"entry-fault canSetBusParams normal"); });
    TCanChannelEx& ch = Create();
    library_calls::Clear();
    ch.Open();
    EXPECT_TRUE(ch.Active());
    EXPECT_EQ(ch.CanHnd(), -1);
    const vg730emu::CanCallLog log = library_calls::Read();
    ASSERT_GE(log.calls.size(), 2u);
    const auto h = log.calls[1].args.at(0); // the handle of the open, as canIoCtl got it
    ASSERT_GE(h, 0);
    using library_calls::Call;
    EXPECT_EQ(library_calls::Texts(log),
              (std::vector<std::string>{
                  Call("canOpenChannel", 0, 0xA8),
                  Call("canIoCtl", h, 20, 1) + " data=01",
                  Call("canSetBusParams", h, 1000000, 4, 3, 1, 1, 0),
                  Call("canClose", h),
                  // The output control runs with the handle the failure left: -1.
                  Call("canSetBusOutputControl", -1, 4),
                  Call("canClose", -1),
                  Call("canSetNotify", -1, ch.WinHandle(), 0),
              }));
}

// What the open flags ask for, seen through what the library then allows: an exclusive open
// keeps every other open of the channel out, and a virtual channel opens only when virtual
// channels are accepted.
struct OpenCase {
    const char* label;
    TCanChanOptions options;
    bool exclusive;
    bool virtualOpens;
};

class CanEmulatedOpenFlags : public CanEmulatedChannel,
                             public testing::WithParamInterface<OpenCase> {};

TEST_P(CanEmulatedOpenFlags, ExclusiveAndVirtualFollowTheOptions) {
    const OpenCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    emulator_tool::Must(L"add-virtual");
    TCanChannelEx& ch = Create();
    ASSERT_EQ(ch.ChannelCount(), 2u);
    ch.SetOptions(c.options);
    ch.Open();
    ASSERT_GE(ch.CanHnd(), 0);
    const TCanEntries* lib = UsableCanEntries();
    const TCanHandle other = lib->canOpenChannel(0, CanLib::OpenAcceptVirtual | CanLib::OpenAlways);
    EXPECT_EQ(other < 0, c.exclusive) << "second open: " << other;
    if (other >= 0) {
        lib->canClose(other);
    }
    ch.Close();

    // The virtual channel: a failed open still leaves the channel open with the negative handle.
    ch.SetChannel(1);
    ch.Open();
    EXPECT_TRUE(ch.Active());
    EXPECT_EQ(ch.CanHnd() >= 0, c.virtualOpens) << "handle " << ch.CanHnd();
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedOpenFlags,
    testing::Values(OpenCase{"NoOptions", {}, true, true},
                    OpenCase{"NotExclusive", {ccNotExclusive}, false, true},
                    OpenCase{"NoVirtual", {ccNoVirtual}, true, false},
                    OpenCase{"Both", {ccNotExclusive, ccNoVirtual}, false, false}),
    [](const testing::TestParamInfo<OpenCase>& info) { return info.param.label; });

// The status event as the library delivers it: the gateway's status bits and transmit level set
// from outside, then the library's status notification to the channel's window. Both bits 0x80
// and 0x01 flush the transmit buffer (canIoCtl 11) and take the channel off the bus; 0x02 takes
// it off the bus without a flush; anything else changes nothing.
struct StatusCase {
    const char* label;
    uint32_t bits;
    bool offBus;
    bool flushed;
};

class CanEmulatedStatusEvent : public CanEmulatedChannel,
                               public testing::WithParamInterface<StatusCase> {};

TEST_P(CanEmulatedStatusEvent, ReactsToTheStatusBitsItReads) {
    const StatusCase& c = GetParam();
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    int changes = 0;
    ch.SetOnStateChanged([&](TObject*) { ++changes; });
    ch.Open();
    ch.BusOn();
    // What the library told of going on the bus is handled before the gateway's state changes.
    PumpMessagesFor(50);
    const TCanHandle h = ch.CanHnd();
    emulator_tool::Must(L"fault 0 tx-level 3");
    if (c.bits != 0) {
        emulator_tool::Must(L"fault 0 bus-status " + std::to_wstring(c.bits));
    }
    PumpMessagesFor(50);
    ASSERT_TRUE(ch.BusActive());
    changes = 0;
    library_calls::Clear();

    vg730emu::EmulatorControl control;
    ASSERT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("status")), 1u);
    EXPECT_TRUE(PumpMessagesUntil([&] { return changes > 0; }, 5000));
    PumpMessagesFor(50);

    using library_calls::Call;
    std::vector<std::string> expected = {Call("canReadStatus", h)};
    if (c.flushed) {
        expected.push_back(Call("canIoCtl", h, 11, 0));
    }
    if (c.offBus) {
        expected.push_back(Call("canBusOff", h));
    }
    // Going off the bus makes the library tell of a status change in turn; the reaction to
    // that one begins with the next status read and may flush again, never go off twice.
    const vg730emu::CanCallLog log = library_calls::Read();
    std::vector<std::string> reaction = library_calls::Texts(log);
    ASSERT_FALSE(reaction.empty());
    reaction.erase(std::find(reaction.begin() + 1, reaction.end(), Call("canReadStatus", h)),
                   reaction.end());
    EXPECT_EQ(reaction, expected);
    EXPECT_EQ(log.Count("canBusOff"), c.offBus ? 1u : 0u);
    EXPECT_EQ(ch.BusActive(), !c.offBus);
    EXPECT_TRUE(ch.Active());
    EXPECT_EQ(control.Report(0).tx_level, c.flushed ? 0u : 3u);
}

INSTANTIATE_TEST_SUITE_P(Can, CanEmulatedStatusEvent,
                         testing::Values(StatusCase{"Bits81", 0x81, true, true},
                                         StatusCase{"Bits83", 0x83, true, true},
                                         StatusCase{"Bit02", 0x02, true, false},
                                         StatusCase{"Bit80Alone", 0x80, false, false},
                                         StatusCase{"Bit01Alone", 0x01, false, false},
                                         StatusCase{"NoBits", 0x00, false, false}),
                         [](const testing::TestParamInfo<StatusCase>& info) {
                             return info.param.label;
                         });

// Each of the library's notifications reaches its event, and the library notifies only what the
// channel's handlers asked for.
TEST_F(CanEmulatedChannel, TheLibrarysNotificationsReachTheirEvents) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    std::vector<std::string> events;
    ch.SetOnCanRx([&](TObject*) { events.push_back("rx"); });
    ch.SetOnCanTx([&](TObject*) { events.push_back("tx"); });
    ch.SetOnCanError([&](TObject*) { events.push_back("error"); });
    ch.SetOnStateChanged([&](TObject*) { events.push_back("state"); });
    ch.Open();
    ch.BusOn();
    PumpMessagesFor(50);
    vg730emu::EmulatorControl control;
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"rx", "rx"}, {"tx", "tx"}, {"error", "error"}, {"status", "state"}};
    for (const auto& [notification, event] : cases) {
        events.clear();
        ASSERT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent(notification)), 1u) << notification;
        EXPECT_TRUE(PumpMessagesUntil([&] { return !events.empty(); }, 5000)) << notification;
        PumpMessagesFor(30);
        EXPECT_EQ(events, std::vector<std::string>{event}) << notification;
    }
    // Without a receive handler the library has no window to tell of a receive.
    ch.SetOnCanRx(nullptr);
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("rx")), 0u);
    EXPECT_EQ(control.Notify(0, vg730emu::ParseNotifyEvent("tx")), 1u);
    PumpMessagesFor(50);
}

// Handler changes reach the library as notification flags: at once while on the bus, when the
// channel goes on the bus otherwise.
TEST_F(CanEmulatedChannel, NotifyFlagsFollowTheHandlersAndReachTheLibraryOnTheBus) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    const TCanHandle h = ch.CanHnd();
    const HWND window = ch.WinHandle();
    using library_calls::Call;
    const TNotifyEvent handler = [](TObject*) {};

    // Open but off the bus: the library hears of no change.
    library_calls::Clear();
    ch.SetOnStateChanged(handler);
    ch.SetOnStateChanged(nullptr);
    ch.SetOnCanTx(handler);
    EXPECT_EQ(library_calls::Read().Count("canSetNotify"), 0u);
    ch.BusOn();
    EXPECT_EQ(library_calls::Texts({"canSetNotify"}),
              std::vector<std::string>{Call("canSetNotify", h, window, 0x02)});

    struct Step {
        int index; // 1 OnCanRx, 2 OnCanTx, 3 OnStateChanged, 4 OnCanError
        bool assign;
        TCanChanNotifyFlags flags;
        uint32_t bits;
    };
    const std::vector<Step> steps = {
        {3, true, {ccNotifyTx, ccNotifyStatus}, 0x0A},
        {4, true, {ccNotifyTx, ccNotifyStatus, ccNotifyError}, 0x0E},
        {1, true, {ccNotifyRx, ccNotifyTx, ccNotifyStatus, ccNotifyError}, 0x0F},
        {2, false, {ccNotifyRx, ccNotifyStatus, ccNotifyError}, 0x0D},
        {3, false, {ccNotifyRx, ccNotifyError}, 0x05},
        {1, false, {ccNotifyError}, 0x04},
        {4, false, {}, 0x00},
    };
    for (const Step& step : steps) {
        library_calls::Clear();
        ch.SetEvent(step.index, step.assign ? handler : nullptr);
        EXPECT_EQ(ch.NotifyFlags(), step.flags) << "event " << step.index;
        EXPECT_EQ(library_calls::Texts(),
                  std::vector<std::string>{Call("canSetNotify", h, window, step.bits)})
            << "event " << step.index << (step.assign ? " assigned" : " cleared");
    }
    // Another index is no event: nothing changes, nothing is passed.
    library_calls::Clear();
    ch.SetEvent(5, handler);
    EXPECT_TRUE(ch.NotifyFlags().Empty());
    EXPECT_EQ(library_calls::Read().total, 0u);

    // A new window on the bus is passed at once with the current flags.
    ch.SetOnCanError(handler);
    NotifySink sink;
    library_calls::Clear();
    ch.SetWinHandle(sink.Window());
    EXPECT_EQ(library_calls::Texts(),
              std::vector<std::string>{Call("canSetNotify", h, sink.Window(), 0x04)});
}

// On the bus, a handler assigned or cleared reaches the library at once: receive notifications
// start and stop with the receive handler, and follow a new notification window.
TEST_F(CanEmulatedChannel, OnTheBusNotificationsFollowTheHandlersAtOnce) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    const uint8_t data[1] = {7};
    int received = 0;
    const auto sendAndCount = [&] {
        const int before = received;
        EXPECT_EQ(ch.write(0x321, data, 1, CanLib::MsgStandard), 0);
        PumpMessagesUntil([&] { return received > before; }, 1000);
        PumpMessagesFor(30);
        return received - before;
    };
    // Assigned while open but off the bus: the library learns of it when the channel goes on.
    ch.SetOnCanRx([&](TObject*) { ++received; });
    ch.BusOn();
    EXPECT_EQ(sendAndCount(), 1);
    ch.SetOnCanRx(nullptr);
    EXPECT_FALSE(ch.NotifyFlags().Contains(ccNotifyRx));
    EXPECT_EQ(sendAndCount(), 0);
    ch.SetOnCanRx([&](TObject*) { ++received; });
    EXPECT_TRUE(ch.NotifyFlags().Contains(ccNotifyRx));
    EXPECT_EQ(sendAndCount(), 1);

    // Notifications to another window: they arrive there, and the channel hears no more.
    ch.SetOnCanRx([&](TObject*) { ++received; });
    NotifySink sink;
    const int beforeSink = received;
    ch.SetWinHandle(sink.Window());
    EXPECT_EQ(ch.WinHandle(), sink.Window());
    EXPECT_EQ(ch.write(0x321, data, 1, CanLib::MsgStandard), 0);
    EXPECT_TRUE(PumpMessagesUntil([&] { return sink.Received() == 1; }, 1000));
    PumpMessagesFor(30);
    EXPECT_EQ(sink.Received(), 1);
    EXPECT_EQ(received, beforeSink);
}

// The pass-through operations reach the library with the channel's handle and the caller's
// arguments; the library's loopback bus shows what they did.
TEST_F(CanEmulatedChannel, PassThroughOperationsReachTheLibrary) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    ch.BusOn();
    const uint8_t first[2] = {0x01, 0x02};
    const uint8_t second[3] = {0x0A, 0x0B, 0x0C};
    ASSERT_EQ(ch.write(0x100, first, 2, CanLib::MsgStandard), 0);
    ASSERT_EQ(ch.write(0x200, second, 3, CanLib::MsgStandard), 0);
    EXPECT_EQ(ch.WriteSync(1000), 0);
    EXPECT_EQ(ch.ReadSync(1000), 0);
    EXPECT_EQ(ch.ReadSyncSpecific(0x200, 1000), 0);
    EXPECT_EQ(ch.WaitForEvent(1000), 0);

    uint8_t data[8] = {};
    uint32_t dlc = 0, flags = 0, time = 0;
    ASSERT_EQ(ch.ReadSpecific(0x200, data, dlc, flags, time), 0);
    EXPECT_EQ(dlc, 3u);
    EXPECT_EQ(data[2], 0x0C);
    int32_t id = 0;
    ASSERT_EQ(ch.read(id, data, dlc, flags, time), 0);
    EXPECT_EQ(id, 0x100);
    EXPECT_EQ(dlc, 2u);
    EXPECT_EQ(flags & CanLib::MsgStandard, CanLib::MsgStandard);
    EXPECT_NE(ch.ReadWait(id, data, dlc, flags, time, 50), 0); // nothing left
    EXPECT_NE(ch.ReadSyncSpecific(0x200, 20), 0);

    // Skipping drops what comes before the frame asked for.
    for (int32_t each : {0x101, 0x102, 0x103, 0x104}) {
        ASSERT_EQ(ch.write(each, first, 1, CanLib::MsgStandard), 0);
    }
    ASSERT_EQ(ch.ReadSpecificSkip(0x103, data, dlc, flags, time), 0);
    ASSERT_EQ(ch.ReadWait(id, data, dlc, flags, time, 1000), 0);
    EXPECT_EQ(id, 0x104);

    // Hardware filters: only the identifiers the mask and code let through arrive.
    ASSERT_EQ(ch.SetHardwareFilters(0x7FF, vg730emu::CAN_FILTER_STD_MASK), 0);
    ASSERT_EQ(ch.SetHardwareFilters(0x300, vg730emu::CAN_FILTER_STD_CODE), 0);
    ASSERT_EQ(ch.write(0x2FF, first, 1, CanLib::MsgStandard), 0);
    ASSERT_EQ(ch.write(0x300, first, 1, CanLib::MsgStandard), 0);
    ASSERT_EQ(ch.ReadWait(id, data, dlc, flags, time, 1000), 0);
    EXPECT_EQ(id, 0x300);
    EXPECT_NE(ch.ReadWait(id, data, dlc, flags, time, 50), 0);
}

TEST_F(CanEmulatedChannel, CountersStatusAndTimerComeFromTheLibrary) {
    emulator_tool::Must(L"add 0");
    TCanChannelEx& ch = Create();
    ch.Open();
    ch.BusOn();
    uint32_t counters[3] = {3, 4, 5};
    ASSERT_EQ(ch.IoCtl(vg730emu::CAN_IOCTL_SET_COUNTERS, counters, sizeof(counters)), 0);
    EXPECT_EQ(ch.TransmitErrors(), 3u);
    EXPECT_EQ(ch.ReceiveErrors(), 4u);
    EXPECT_EQ(ch.Overruns(), 5u);
    EXPECT_EQ(ch.ChannelStatus() & vg730emu::CAN_STAT_ERROR_WARNING, 0u);
    uint32_t bits = vg730emu::CAN_STAT_ERROR_WARNING;
    ASSERT_EQ(ch.IoCtl(vg730emu::CAN_IOCTL_RAISE_STATUS, &bits, 4), 0);
    EXPECT_NE(ch.ChannelStatus() & vg730emu::CAN_STAT_ERROR_WARNING, 0u);
    // The channel's clock runs.
    const uint32_t earlier = ch.Now();
    Sleep(50);
    EXPECT_GT(ch.Now(), earlier);
    // Closed, the handle is -1: the library answers with a failure, read as 0.
    ch.Close();
    EXPECT_EQ(ch.TransmitErrors(), 0u);
    EXPECT_EQ(ch.ChannelStatus(), 0u);
    EXPECT_EQ(ch.Now(), 0u);
}

} // namespace
