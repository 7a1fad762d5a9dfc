// The channel against the emulated CAN library: creation, naming, firmware text, opening, the
// guards, bit-rate translation, writing and the notifications.
#include "CanBus.h"
#include "CanChanEx.h"
#include "EmulatorSetup.h"
#include "MessagePump.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

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
    TCanChannelEx& ch = Create();
    EXPECT_FALSE(ch.LoadFailed());
    EXPECT_EQ(ch.CanHnd(), -1);
    EXPECT_EQ(ch.BitRate(), 1000000);
    EXPECT_FALSE(ch.Active());
    EXPECT_FALSE(ch.BusActive());
    EXPECT_EQ(ch.ChannelCount(), 1u);
    EXPECT_TRUE(IsWindow(ch.WinHandle()));
}

TEST_F(CanEmulatedChannel, NoChannelIsAFailedLoad) {
    TCanChannelEx& ch = Create();
    EXPECT_TRUE(ch.LoadFailed());
    EXPECT_EQ(ch.ChannelCount(), 0u);
    ch.Open();
    EXPECT_FALSE(ch.Active());
    EXPECT_EQ(ch.CanHnd(), -1);
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
};

class CanEmulatedNaming : public CanEmulatedChannel,
                          public testing::WithParamInterface<NamingCase> {};

TEST_P(CanEmulatedNaming, NameOfChannelZero) {
    const NamingCase& c = GetParam();
    emulator_tool::Must(c.add);
    TCanChannelEx& ch = Create(c.gatewayMode);
    EXPECT_EQ(ch.ChannelNames(0), c.reported);
    EXPECT_EQ(ch.ChannelName(), c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanEmulatedNaming,
    testing::Values(
        NamingCase{"FirstEan", L"add 2 --name \"X VG730 #2\"", true, L"VG730 #2"},
        NamingCase{"FirstEanExplicit", L"add 0 --ean 0007300099001237 --name \"X VG730 #0\"", true,
                   L"VG730 #0"},
        NamingCase{"SecondEan", L"add 2 --ean 0007300099002005 --name \"X VG730 #2 Y\"", true,
                   L"VG730-2 #2 Y"},
        NamingCase{"OtherEan", L"add 2 --ean 0000000000000001 --name \"X VG730 #2\"", true,
                   L"X VG730 #2 EAN: 0000000000000001"},
        NamingCase{"NoHash", L"add 4 --name \"X VG730\"", true, L"VG730"},
        NamingCase{"NotGatewayMode", L"add 0 --name \"X VG730 #0\"", false, L"X VG730 #0"},
        NamingCase{"VirtualUnchanged", L"add-virtual --name \"X Virtual VG730\"", true,
                   L"X Virtual VG730"},
        NamingCase{"LowerCaseUnchanged", L"add 5 --name \"Gateway vg730 #5\"", true,
                   L"Gateway vg730 #5"}),
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
    ch.SetBitRate(CanLib::Bitrate50K);
    EXPECT_EQ(ch.BitRate(), 50000);
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{static_cast<int32_t>(tseg1), static_cast<int32_t>(tseg2),
                                    static_cast<int32_t>(sjw), static_cast<int32_t>(samples)}));
    EXPECT_EQ(changes, 1);

    // A plain bit rate leaves the timing values as they are.
    ch.SetTSeg1(9);
    ch.SetBitRate(250000);
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
    const int32_t refused = ch.write(0x123, data, 3, CanLib::MsgStandard);
    EXPECT_NE(refused, 0);
    EXPECT_TRUE(written.empty());

    ch.Open();
    ch.BusOn();
    ASSERT_TRUE(ch.BusActive());
    EXPECT_EQ(ch.write(0x123, data, 3, CanLib::MsgStandard), 0);
    EXPECT_EQ(ch.write(0x1ABCDEF, data, 8, CanLib::MsgExtended), 0);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].sender, &ch);
    EXPECT_EQ(written[0].id, 0x123);
    EXPECT_EQ(written[0].msg, data);
    EXPECT_EQ(written[0].dlc, 3);
    EXPECT_EQ(written[0].flag, static_cast<int32_t>(CanLib::MsgStandard));
    EXPECT_EQ(written[1].id, 0x1ABCDEF);
    EXPECT_EQ(written[1].dlc, 8);
    EXPECT_EQ(written[1].flag, static_cast<int32_t>(CanLib::MsgExtended));
}

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

// The status event: both bits 0x80 and 0x01 flush the transmit buffer and take the channel off
// the bus, 0x02 takes it off the bus without a flush, anything else changes nothing. Frames
// held back by the emulator stand for a transmit buffer that is not empty.
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
    ch.Open();
    ch.BusOn();
    uint8_t hold = 1;
    ASSERT_EQ(ch.IoCtl(vg730emu::CAN_IOCTL_HOLD_TX, &hold, 1), 0);
    const uint8_t data[2] = {1, 2};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(ch.write(0x100 + i, data, 2, CanLib::MsgStandard), 0);
    }
    uint32_t waiting = 0;
    ASSERT_EQ(ch.IoCtl(CanLib::IoCtlTxBufferLevel, &waiting, 4), 0);
    ASSERT_EQ(waiting, 3u);
    PumpMessagesFor(50);

    int changes = 0;
    ch.SetOnStateChanged([&](TObject*) { ++changes; });
    uint32_t bits = c.bits;
    ASSERT_EQ(ch.IoCtl(vg730emu::CAN_IOCTL_RAISE_STATUS, &bits, 4), 0);
    EXPECT_TRUE(PumpMessagesUntil([&] { return changes > 0; }, 5000));
    PumpMessagesFor(50);

    EXPECT_EQ(ch.BusActive(), !c.offBus);
    EXPECT_TRUE(ch.Active());
    waiting = 99;
    ASSERT_EQ(ch.IoCtl(CanLib::IoCtlTxBufferLevel, &waiting, 4), 0);
    EXPECT_EQ(waiting, c.flushed ? 0u : 3u);
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
