// The binding against the emulated CAN library installed in the test prefix.
#include "Can.h"
#include "CanChanEx.h"
#include "DebugOutputCapture.h"
#include "EmulatorSetup.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CanEmulatedBinding : public testing::Test {
protected:
    void SetUp() override {
        emulator_tool::StartFromKnownState();
        emulator_tool::Must(L"add 0");
        UnloadCanDll();
        InitializeCanUnit();
        FLibrary = FindGatewayDll();
        ASSERT_FALSE(FLibrary.empty()) << "the emulated gateway library is not installed";
        SetCanDllName(FLibrary);
    }
    void TearDown() override {
        UnloadCanDll();
        InitializeCanUnit();
    }

    // Whether the library is mapped into this process.
    bool Mapped() const { return GetModuleHandleW(FLibrary.c_str()) != nullptr; }

    std::wstring FLibrary;
};

TEST_F(CanEmulatedBinding, LoadsEveryEntryAndIsUsable) {
    LoadCanDll();
    EXPECT_TRUE(CanDllLoaded());
    ASSERT_NE(UsableCanEntries(), nullptr);
    for (size_t i = 0; i < CanEntryNames.size(); ++i) {
        EXPECT_TRUE(FilledCanEntries()[i]) << CanEntryNames[i];
    }
    int32_t count = -1;
    EXPECT_EQ(UsableCanEntries()->canGetNumberOfChannels(&count), 0);
    EXPECT_EQ(count, 1);
}

TEST_F(CanEmulatedBinding, LoadingTwiceLoadsOnce) {
    DebugOutputCapture capture;
    LoadCanDll();
    LoadCanDll();
    EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"LoadLibrary: " + WideToUtf8(FLibrary),
                                                         "LoadLibrary was a success"}));
    // Held once: one release unmaps it.
    UnloadCanDll();
    EXPECT_FALSE(Mapped());
}

TEST_F(CanEmulatedBinding, TracesOfOneCycleInOrder) {
    DebugOutputCapture capture;
    LoadCanDll();
    UnloadCanDll();
    const std::string name = WideToUtf8(FLibrary);
    EXPECT_EQ(capture.Texts(),
              (std::vector<std::string>{"LoadLibrary: " + name, "LoadLibrary was a success",
                                        "FreeLibrary: " + name}));
}

TEST_F(CanEmulatedBinding, UnloadReleasesTheLibraryAndASecondUnloadDoesNothing) {
    LoadCanDll();
    ASSERT_TRUE(Mapped());
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_FALSE(CanDllLoaded());
    EXPECT_FALSE(Mapped());
    EXPECT_EQ(UsableCanEntries(), nullptr);
    DebugOutputCapture capture;
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(CanEmulatedBinding, AfterAnUnloadTheNextLoadLoadsAgain) {
    LoadCanDll();
    UnloadCanDll();
    DebugOutputCapture capture;
    LoadCanDll();
    EXPECT_TRUE(Mapped());
    ASSERT_NE(UsableCanEntries(), nullptr);
    EXPECT_EQ(capture.Texts().size(), 2u);
}

TEST_F(CanEmulatedBinding, BareNameIsFoundInTheSystemFolder) {
    SetCanDllName(L"VNCOMM32.dll");
    LoadCanDll();
    ASSERT_NE(UsableCanEntries(), nullptr);
    EXPECT_NE(GetModuleHandleW((GetSystemFolder() + L"VNCOMM32.dll").c_str()), nullptr);
}

// Copies of the library that lack one export, installed under the usual names until the next
// install. The library must be released before its files are replaced.
class CanEmulatedBindingMissingEntry : public CanEmulatedBinding {
protected:
    void TearDown() override {
        CanEmulatedBinding::TearDown();
        emulator_tool::Must(L"install");
    }
    void InstallWithout(const std::wstring& entry) {
        UnloadCanDll();
        emulator_tool::Must(L"install --missing-entry " + entry);
    }
};

TEST_F(CanEmulatedBindingMissingEntry, NamesTheEntryAndKeepsTheEarlierOnes) {
    InstallWithout(L"canWaitForEvent");
    std::wstring message;
    try {
        LoadCanDll();
    } catch (const Exception& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, L"VNCOMM: function canWaitForEvent not found.");
    EXPECT_TRUE(CanDllLoaded());
    EXPECT_EQ(UsableCanEntries(), nullptr);
    const auto filled = FilledCanEntries();
    for (size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i], i < 30) << CanEntryNames[i];
    }
}

TEST_F(CanEmulatedBindingMissingEntry, NoEntryOfAnEarlierLibrarySurvivesIntoAnIncompleteOne) {
    // A complete load first, so that every entry was filled once.
    LoadCanDll();
    ASSERT_NE(UsableCanEntries(), nullptr);
    InstallWithout(L"canWaitForEvent");
    EXPECT_THROW(LoadCanDll(), Exception);
    const auto filled = FilledCanEntries();
    for (size_t i = 30; i < filled.size(); ++i) {
        EXPECT_FALSE(filled[i]) << CanEntryNames[i];
    }
    // Unloading calls no entry of the released library (canUnloadLibrary among them).
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_FALSE(CanDllLoaded());
}

TEST_F(CanEmulatedBindingMissingEntry, AChannelOnAnIncompleteBindingIsFailedAndCallsNothing) {
    InstallWithout(L"canWaitForEvent");
    TComponent owner(nullptr);
    auto* first = new TCanChannelEx(&owner);
    auto* second = new TCanChannelEx(&owner);
    for (TCanChannelEx* ch : {first, second}) {
        EXPECT_TRUE(ch->LoadFailed());
        EXPECT_EQ(ch->ChannelCount(), 0u);
        EXPECT_EQ(ch->ChannelNames(0), L"");
        ch->Open();
        EXPECT_FALSE(ch->Active());
        EXPECT_EQ(ch->WaitForEvent(0), canStatusBindingNotUsable);
    }
    // The first one failed inside the load, the second found the library loaded.
    EXPECT_EQ(first->WinHandle(), nullptr);
    EXPECT_NE(second->WinHandle(), nullptr);
}

TEST_F(CanEmulatedBindingMissingEntry, TheLastEntryMissingLeavesTheOtherThirtyThreeFilled) {
    InstallWithout(L"canUnloadLibrary");
    EXPECT_THROW(LoadCanDll(), Exception);
    const auto filled = FilledCanEntries();
    for (size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i], i < 33) << CanEntryNames[i];
    }
}

} // namespace
