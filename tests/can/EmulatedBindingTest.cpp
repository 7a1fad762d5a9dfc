// The binding against the emulated CAN library installed in the test prefix.
#include "Can.h"
#include "CanChanEx.h"
#include "DebugOutputCapture.h"
#include "EmulatorSetup.h"
#include "LibraryCalls.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <regex>
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

TEST_F(CanEmulatedBinding, LoadingTwiceLoadsAndInitialisesOnce) {
    library_calls::Clear();
    DebugOutputCapture capture;
    LoadCanDll();
    LoadCanDll();
    EXPECT_EQ(capture.Texts(), (std::vector<std::string>{"LoadLibrary: " + WideToUtf8(FLibrary),
                                                         "LoadLibrary was a success"}));
    // Loading calls nothing but the initialisation, and that once.
    EXPECT_EQ(library_calls::Entries(), std::vector<std::string>{"canInitializeLibrary"});
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
    // Each line carries the tag and the local time to the millisecond.
    const std::regex stamped(
        R"(\(Quorvel\) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3} \S.*)");
    for (const std::string& line : capture.Lines()) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    }
}

TEST_F(CanEmulatedBinding, UnloadCallsUnloadLibraryTwiceReleasesAndASecondUnloadDoesNothing) {
    LoadCanDll();
    ASSERT_TRUE(Mapped());
    library_calls::Clear();
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_EQ(library_calls::Entries(),
              (std::vector<std::string>{"canUnloadLibrary", "canUnloadLibrary"}));
    EXPECT_FALSE(CanDllLoaded());
    EXPECT_FALSE(Mapped());
    EXPECT_EQ(UsableCanEntries(), nullptr);
    DebugOutputCapture capture;
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(library_calls::Read().total, 2u);
}

TEST_F(CanEmulatedBinding, AfterAnUnloadTheNextLoadLoadsAndInitialisesAgain) {
    library_calls::Clear();
    LoadCanDll();
    UnloadCanDll();
    DebugOutputCapture capture;
    LoadCanDll();
    EXPECT_TRUE(Mapped());
    ASSERT_NE(UsableCanEntries(), nullptr);
    EXPECT_EQ(capture.Texts().size(), 2u);
    EXPECT_EQ(library_calls::Entries(),
              (std::vector<std::string>{"canInitializeLibrary", "canUnloadLibrary",
                                        "canUnloadLibrary", "canInitializeLibrary"}));
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
    library_calls::Clear();
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
    // A failed resolution initialises nothing.
    EXPECT_EQ(library_calls::Read().total, 0u);
}

TEST_F(CanEmulatedBindingMissingEntry, NoEntryOfAnEarlierLibrarySurvivesIntoAnIncompleteOne) {
    // A complete load first, so that every entry was filled once.
    LoadCanDll();
    ASSERT_NE(UsableCanEntries(), nullptr);
    InstallWithout(L"canWaitForEvent");
    library_calls::Clear();
    EXPECT_THROW(LoadCanDll(), Exception);
    const auto filled = FilledCanEntries();
    for (size_t i = 30; i < filled.size(); ++i) {
        EXPECT_FALSE(filled[i]) << CanEntryNames[i];
    }
    // Unloading calls no entry of the released library (canUnloadLibrary among them).
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_FALSE(CanDllLoaded());
    EXPECT_EQ(library_calls::Read().total, 0u);
}

TEST_F(CanEmulatedBindingMissingEntry, AChannelOnAnIncompleteBindingIsFailedAndCallsNothing) {
    InstallWithout(L"canWaitForEvent");
    library_calls::Clear();
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
    EXPECT_EQ(library_calls::Texts(), std::vector<std::string>{});
}

TEST_F(CanEmulatedBindingMissingEntry, TheLastEntryMissingLeavesTheOtherThirtyThreeFilled) {
    InstallWithout(L"canUnloadLibrary");
    library_calls::Clear();
    EXPECT_THROW(LoadCanDll(), Exception);
    const auto filled = FilledCanEntries();
    for (size_t i = 0; i < filled.size(); ++i) {
        EXPECT_EQ(filled[i], i < 33) << CanEntryNames[i];
    }
    // Filled as canInitializeLibrary is, the binding is not complete: it is not initialised.
    EXPECT_EQ(library_calls::Read().total, 0u);
}

} // namespace
