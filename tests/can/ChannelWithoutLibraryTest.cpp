// A channel whose library cannot be used: the values it starts with, the failed state it keeps,
// the guards and properties that work without a library, and its hidden window.
#include "CanChanEx.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class CanChannelWithoutLibrary : public testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override {
        UnloadCanDll();
        InitializeCanUnit();
        SetCanDllName(GetParam());
        FOwner = std::make_unique<TComponent>(nullptr);
        FChannel = new TCanChannelEx(FOwner.get());
    }
    void TearDown() override {
        FOwner.reset();
        UnloadCanDll();
        InitializeCanUnit();
    }

    std::unique_ptr<TComponent> FOwner;
    TCanChannelEx* FChannel = nullptr; // owned by FOwner
};

TEST_P(CanChannelWithoutLibrary, IsFailedAndStaysClosed) {
    TCanChannelEx& ch = *FChannel;
    EXPECT_TRUE(ch.LoadFailed());
    ch.Open();
    EXPECT_FALSE(ch.Active());
    ch.SetActive(true);
    EXPECT_FALSE(ch.Active());
    ch.SetBusActive(true);
    EXPECT_FALSE(ch.BusActive());
    EXPECT_EQ(ch.CanHnd(), -1);
    EXPECT_EQ(ch.ChannelCount(), 0u);
    EXPECT_EQ(ch.ChannelName(), L"");
    EXPECT_EQ(ch.ChannelNames(0), L"");
    EXPECT_EQ(ch.ChannelFirmware(0), L"");
    EXPECT_EQ(ch.ChannelStatus(), 0u);
    EXPECT_EQ(ch.Now(), 0u);
    EXPECT_EQ(ch.TransmitErrors(), 0u);
    EXPECT_EQ(ch.ReceiveErrors(), 0u);
    EXPECT_EQ(ch.Overruns(), 0u);
    const uint8_t data[2] = {1, 2};
    EXPECT_LT(ch.write(0x100, data, 2, CanLib::MsgStandard), 0);
}

TEST_P(CanChannelWithoutLibrary, StartsWithTheDefaultSettings) {
    const TCanChanNotifyFlags none;
    const TCanChannelEx& ch = *FChannel;
    EXPECT_EQ(ch.CanHnd(), -1);
    EXPECT_EQ(ch.driver(), ccNormal);
    EXPECT_EQ(ch.BitRate(), 1000000);
    EXPECT_EQ(ch.TSeg1(), 4);
    EXPECT_EQ(ch.TSeg2(), 3);
    EXPECT_EQ(ch.SJW(), 1);
    EXPECT_EQ(ch.Samples(), 1);
    EXPECT_EQ(ch.channel(), 0);
    EXPECT_TRUE(ch.options().Empty());
    EXPECT_EQ(ch.NotifyFlags(), none);
    EXPECT_FALSE(ch.Active());
    EXPECT_FALSE(ch.BusActive());
    for (int index = 1; index <= 4; ++index) {
        EXPECT_FALSE(ch.GetEvent(index)) << index;
    }
    EXPECT_FALSE(ch.OnWrite());
}

TEST_P(CanChannelWithoutLibrary, TimingValuesByIndex) {
    TCanChannelEx& ch = *FChannel;
    int changes = 0;
    ch.SetOnStateChanged([&](TObject* sender) {
        EXPECT_EQ(sender, FChannel);
        ++changes;
    });
    ch.SetTSeg1(11);
    ch.SetTSeg2(5);
    ch.SetSJW(2);
    ch.SetSamples(3);
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(ch.GetTiming(1), 11);
    EXPECT_EQ(ch.GetTiming(2), 5);
    EXPECT_EQ(ch.GetTiming(3), 2);
    EXPECT_EQ(ch.GetTiming(4), 3);
    // An index outside 1..4 stores nothing but still tells of a change.
    ch.SetTiming(5, 99);
    ch.SetTiming(0, 99);
    EXPECT_EQ(changes, 6);
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{11, 5, 2, 3}));
    for (int index : {0, 5, -1}) {
        try {
            (void)ch.GetTiming(index);
            ADD_FAILURE() << "index " << index << " was read";
        } catch (const ECanChan& e) {
            EXPECT_EQ(e.Message(), L"Illegal index");
        }
    }
}

TEST_P(CanChannelWithoutLibrary, BitRateIsStoredAsGivenWhenNotACode) {
    TCanChannelEx& ch = *FChannel;
    int changes = 0;
    ch.SetOnStateChanged([&](TObject*) { ++changes; });
    ch.SetBitRate(250000);
    EXPECT_EQ(ch.BitRate(), 250000);
    EXPECT_EQ((std::vector<int32_t>{ch.TSeg1(), ch.TSeg2(), ch.SJW(), ch.Samples()}),
              (std::vector<int32_t>{4, 3, 1, 1}));
    EXPECT_EQ(changes, 1);
}

TEST_P(CanChannelWithoutLibrary, NotifyFlagsFollowTheHandlers) {
    TCanChannelEx& ch = *FChannel;
    struct Case {
        int index;
        TCanChanNotifyFlag flag;
    };
    const std::vector<Case> cases = {
        {1, ccNotifyRx}, {2, ccNotifyTx}, {3, ccNotifyStatus}, {4, ccNotifyError}};
    TCanChanNotifyFlags expected;
    for (const Case& c : cases) {
        ch.SetEvent(c.index, [](TObject*) {});
        expected.Include(c.flag);
        EXPECT_EQ(ch.NotifyFlags(), expected) << "assigned " << c.index;
        EXPECT_TRUE(ch.GetEvent(c.index));
    }
    ch.SetEvent(7, [](TObject*) {});
    EXPECT_EQ(ch.NotifyFlags(), expected);
    EXPECT_FALSE(ch.GetEvent(7));
    for (const Case& c : cases) {
        ch.SetEvent(c.index, nullptr);
        expected.Exclude(c.flag);
        EXPECT_EQ(ch.NotifyFlags(), expected) << "cleared " << c.index;
        EXPECT_FALSE(ch.GetEvent(c.index));
    }
    // The named properties are the same events.
    ch.SetOnCanError([](TObject*) {});
    EXPECT_EQ(ch.NotifyFlags(), TCanChanNotifyFlags{ccNotifyError});
    ch.SetOnCanError(nullptr);
    ch.SetOnCanTx([](TObject*) {});
    EXPECT_EQ(ch.NotifyFlags(), TCanChanNotifyFlags{ccNotifyTx});
}

TEST_P(CanChannelWithoutLibrary, ClosedChannelTakesChannelOptionsAndDriver) {
    TCanChannelEx& ch = *FChannel;
    int changes = 0;
    ch.SetOnStateChanged([&](TObject*) { ++changes; });
    ch.SetChannel(3);
    EXPECT_EQ(changes, 1);
    ch.SetOptions({ccNotExclusive, ccNoVirtual});
    ch.SetDriver(ccSilent);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(ch.channel(), 3);
    EXPECT_EQ(ch.options(), (TCanChanOptions{ccNoVirtual, ccNotExclusive}));
    EXPECT_EQ(ch.driver(), ccSilent);
}

TEST_P(CanChannelWithoutLibrary, DestroyedBeforeItsOwnerLeavesTheOwner) {
    EXPECT_EQ(FOwner->ComponentCount(), 1);
    delete FChannel;
    FChannel = nullptr;
    EXPECT_EQ(FOwner->ComponentCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Can, CanChannelWithoutLibrary,
                         testing::Values(L"no-such-can-library.dll", L"", L"kernel32.dll"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                             const std::wstring name = info.param;
                             return name.empty()      ? std::string("EmptyName")
                                    : name[0] == L'k' ? std::string("NotACanLibrary")
                                                      : std::string("MissingFile");
                         });

// The hidden window: created with the channel once the library is loaded, on the creating
// thread, message-only, and gone with the channel. A library that is no CAN library stays
// loaded after the first channel failed on it, so the next channel gets its window while
// remaining failed: enough to see the window without a CAN library.
class CanNotifyWindow : public testing::Test {
protected:
    void SetUp() override {
        UnloadCanDll();
        InitializeCanUnit();
        SetCanDllName(L"kernel32.dll");
        TComponent first(nullptr);
        auto* failing = new TCanChannelEx(&first);
        EXPECT_EQ(failing->WinHandle(), nullptr);
        ASSERT_TRUE(CanDllLoaded());
    }
    void TearDown() override {
        UnloadCanDll();
        InitializeCanUnit();
    }
};

TEST_F(CanNotifyWindow, IsAMessageOnlyWindowOfTheCreatingThread) {
    TComponent owner(nullptr);
    auto* ch = new TCanChannelEx(&owner);
    EXPECT_TRUE(ch->LoadFailed());
    const HWND window = ch->WinHandle();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    // Message-only windows are children of the message root, which FindWindowEx searches.
    bool found = false;
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        found = found || w == window;
    }
    EXPECT_TRUE(found);
    delete ch;
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(CanNotifyWindow, IsNotCreatedWhenTheLibraryDoesNotLoad) {
    UnloadCanDll();
    SetCanDllName(L"no-such-can-library.dll");
    TComponent owner(nullptr);
    auto* ch = new TCanChannelEx(&owner);
    EXPECT_EQ(ch->WinHandle(), nullptr);
}

TEST_F(CanNotifyWindow, NotificationsToAClosedChannelAreNotActedOn) {
    TComponent owner(nullptr);
    auto* ch = new TCanChannelEx(&owner);
    ASSERT_TRUE(IsWindow(ch->WinHandle()));
    int events = 0;
    for (int index = 1; index <= 4; ++index) {
        ch->SetEvent(index, [&](TObject*) { ++events; });
    }
    for (uint16_t code :
         {CanLib::EventRx, CanLib::EventTx, CanLib::EventError, CanLib::EventStatus}) {
        EXPECT_EQ(SendMessageW(ch->WinHandle(), CanLib::NotifyMessage, 0, code), 0);
    }
    EXPECT_EQ(events, 0);
}

} // namespace
