// The binding with libraries that cannot be used: a missing file, an empty name, and a library
// that is no CAN library at all (it lacks the very first entry). Every test leaves the binding
// unloaded.
#include "Can.h"
#include "DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <iterator>
#include <string>

namespace {

class CanBindingFailure : public testing::Test {
protected:
    void SetUp() override {
        UnloadCanDll();
        InitializeCanUnit();
    }
    void TearDown() override {
        UnloadCanDll();
        InitializeCanUnit();
    }

    // The message LoadCanDll raises, or a note that it raised none.
    static std::wstring LoadError() {
        try {
            LoadCanDll();
        } catch (const Exception& e) {
            return e.Message();
        }
        return L"(no error)";
    }
};

TEST_F(CanBindingFailure, MissingFileGivesTheLoadFailureWithThePlatformCode) {
    SetCanDllName(L"no-such-can-library.dll");
    EXPECT_EQ(LoadError(),
              L"Can not load the CAN driver no-such-can-library.dll(Error 0x0000007e)");
    EXPECT_FALSE(CanDllLoaded());
    EXPECT_EQ(UsableCanEntries(), nullptr);
}

TEST_F(CanBindingFailure, EmptyNameIsAFailedLoad) {
    SetCanDllName(L"");
    // The platform's own code for the same attempt.
    SetLastError(0);
    const HMODULE probe = LoadLibraryW(L"");
    const DWORD expectedCode = GetLastError();
    ASSERT_EQ(probe, nullptr);
    ASSERT_NE(expectedCode, 0u);
    wchar_t code[16];
    swprintf(code, std::size(code), L"0x%08x", static_cast<unsigned>(expectedCode));
    EXPECT_EQ(LoadError(), std::wstring(L"Can not load the CAN driver (Error ") + code + L")");
    EXPECT_FALSE(CanDllLoaded());
}

TEST_F(CanBindingFailure, FullPathIsUsedUnchanged) {
    const std::wstring path = GetSystemFolder() + L"no-such-folder\\VNCOMM32.DLL";
    SetCanDllName(path);
    const std::wstring message = LoadError();
    EXPECT_EQ(message.rfind(L"Can not load the CAN driver " + path + L"(Error 0x", 0), 0u)
        << WideToUtf8(message);
    EXPECT_FALSE(CanDllLoaded());
}

TEST_F(CanBindingFailure, LibraryWithoutEntriesStaysLoadedButUnusableUntilUnloaded) {
    SetCanDllName(L"kernel32.dll");
    EXPECT_EQ(LoadError(), L"VNCOMM: function canLocateHardware not found.");
    EXPECT_TRUE(CanDllLoaded());
    EXPECT_EQ(UsableCanEntries(), nullptr);
    for (bool filled : FilledCanEntries()) {
        EXPECT_FALSE(filled);
    }
    // A second load sees a loaded library and does nothing, not even a trace line.
    {
        DebugOutputCapture capture;
        EXPECT_EQ(LoadError(), L"(no error)");
        EXPECT_TRUE(capture.Lines().empty());
    }
    EXPECT_EQ(UsableCanEntries(), nullptr);
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_FALSE(CanDllLoaded());
}

TEST_F(CanBindingFailure, TracesOfOneLoadAndUnloadCycleInOrder) {
    SetCanDllName(L"kernel32.dll");
    DebugOutputCapture capture;
    (void)LoadError();
    EXPECT_EQ(UnloadCanDll(), 0);
    const std::vector<std::string> expected = {
        "LoadLibrary: kernel32.dll", "LoadLibrary was a success", "FreeLibrary: kernel32.dll"};
    EXPECT_EQ(capture.Texts(), expected);
    for (const std::string& line : capture.Lines()) {
        EXPECT_EQ(line.rfind("(Quorvel) ", 0), 0u) << line;
    }
}

TEST_F(CanBindingFailure, AFailedLoadTracesOnlyTheAttempt) {
    SetCanDllName(L"no-such-can-library.dll");
    DebugOutputCapture capture;
    (void)LoadError();
    EXPECT_EQ(capture.Texts(), std::vector<std::string>{"LoadLibrary: no-such-can-library.dll"});
}

TEST_F(CanBindingFailure, UnloadingWhenNothingIsLoadedDoesNothing) {
    DebugOutputCapture capture;
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_EQ(UnloadCanDll(), 0);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(CanBindingFailure, NameChangesTakeEffectAtTheNextLoadOnly) {
    SetCanDllName(L"kernel32.dll");
    (void)LoadError();
    ASSERT_TRUE(CanDllLoaded());
    SetCanDllName(L"no-such-can-library.dll");
    // Still the same library: nothing is loaded again.
    EXPECT_EQ(LoadError(), L"(no error)");
    EXPECT_TRUE(CanDllLoaded());
    UnloadCanDll();
    EXPECT_EQ(LoadError(),
              L"Can not load the CAN driver no-such-can-library.dll(Error 0x0000007e)");
}

} // namespace
