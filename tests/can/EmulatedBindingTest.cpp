// The binding against the emulated CAN library installed in the test prefix.
#include "Can.h"
#include "DebugOutputCapture.h"
#include "EmulatorSetup.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CanEmulatedBinding : public testing::Test {
protected:
    void SetUp() override {
        emulator_tool::Must(L"reset");
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

} // namespace
