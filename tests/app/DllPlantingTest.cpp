// A DLL planted in the download folder beside both programs, under the name of a system DLL
// that is no known DLL, never runs: not in the updater, not in the CAN library it loads (which
// needs winmm.dll), not in the flash programmer, started by the updater or by hand. Wine loads
// its own copy of a system DLL first; these tests run with WINEDLLOVERRIDES=winmm=n,b, which
// makes it search for winmm.dll as Windows does.
#include "UpdaterFixture.h"

#include "UniversalTypesUnit.h"

#include <filesystem>
#include <fstream>

namespace updater_test {
namespace {

class PlantedDll : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        Folder().CopyFromBin(L"planted_winmm.dll", L"winmm.dll");
        Folder().CopyFromBin(L"planted_dll_control.exe", L"planted_dll_control.exe");
    }

    // Runs a program of the folder from the folder, as by hand.
    std::optional<DWORD> RunInFolder(const std::wstring& commandLine) {
        ChildProcess program(commandLine, Folder().Path());
        return program.WaitForExit(60s);
    }

    std::wstring Marker() { return Folder().Path() + L"planted-dll-ran.txt"; }
    // The programs that loaded the planted DLL, one per line; empty when none did.
    std::string TakeMarker() {
        std::ifstream in(std::filesystem::path(Marker()), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        DeleteFileW(Marker().c_str());
        std::wstring wide(reinterpret_cast<const wchar_t*>(text.data()),
                          text.size() / sizeof(wchar_t));
        return WideToUtf8(wide);
    }
};

TEST_F(PlantedDll, NeverRunsInTheProgramsWhileTheyWork) {
    // The planted DLL is found and runs where a program takes it from its own folder.
    EXPECT_EQ(RunInFolder(L"\"" + Folder().Path() + L"planted_dll_control.exe\""),
              std::optional<DWORD>(0));
    EXPECT_NE(TakeMarker().find("planted_dll_control.exe"), std::string::npos)
        << "the planted DLL did not run in the program that imports it: the test shows nothing";

    // The whole update, through the window and the CAN library, with the flash programmer.
    AddGateway(0);
    StartUpdater();
    ASSERT_TRUE(Offered());
    RunUpdate(L"Firmware update complete.");
    EXPECT_EQ(TakeMarker(), "");

    // The flash programmer by hand in that folder, once the updater has gone (it holds the
    // gateway for a moment every second) and the gateway is back from its restart.
    Window().Close();
    ASSERT_EQ(Process().WaitForExit(20s), std::optional<DWORD>(0));
    ASSERT_EQ(WaitUntilPresent(0).presence, VG730_PRESENT);
    const std::wstring flasher = L"\"" + Folder().Path() + FlasherName + L"\" -C0 -vc \"" +
                                 Folder().Path() + ImageName + L"\"";
    EXPECT_EQ(RunInFolder(flasher), std::optional<DWORD>(0));
    EXPECT_EQ(TakeMarker(), "");
}

} // namespace
} // namespace updater_test
