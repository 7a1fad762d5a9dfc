// The release package as a user installs it: unpacked into a folder whose path holds a blank and
// a comma (VG_PROGRAMS names it), the updater started from there updates an emulated gateway
// from 2.05.176 to 2.05.177, and names the whole path of a flash programmer that is missing.
#include "ChildProcess.h"
#include "EmulatorControl.h"
#include "ProgramsUnderTest.h"
#include "UpdaterWindow.h"

#include "ExeUnitStrings.h"
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using updater::MainView;
using updater::MainWindow;

class InstalledPackage : public ::testing::Test {
protected:
    void SetUp() override {
        vg730emu::ResetEmulator();
        control_.emplace();
        control_->AddDevice(0);
        folder_ = programs::Folder().wstring() + L"\\";
    }

    // Starts the updater from the package's folder and waits for it to offer the update.
    MainWindow& Start() {
        updater_ =
            std::make_unique<ChildProcess>(L"\"" + folder_ + L"VG730FirmwareUpdate.exe\"", folder_);
        window_ = std::make_unique<MainWindow>(updater_->Id());
        MainView seen;
        EXPECT_TRUE(window_->Found());
        EXPECT_TRUE(window_->WaitForView([](const MainView& v) { return v.updateButton.enabled; },
                                         seen, 20s))
            << seen.Describe();
        return *window_;
    }

    void Expect(const std::wstring& text, const std::wstring& answer,
                std::chrono::milliseconds timeout = 60s) {
        const std::optional<updater::Message> box = window_->WaitForMessage(timeout);
        ASSERT_TRUE(box) << "no message \"" << WideToUtf8(text) << "\"";
        EXPECT_EQ(box->text, text);
        ASSERT_TRUE(MainWindow::Answer(*box, answer));
        for (int i = 0; i < 200 && IsWindowVisible(box->window); ++i) {
            std::this_thread::sleep_for(20ms);
        }
    }

    std::optional<vg730emu::EmulatorControl> control_;
    std::wstring folder_;
    std::unique_ptr<ChildProcess> updater_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(InstalledPackage, UpdatesAGatewayFromItsFolder) {
    ASSERT_NE(folder_.find(L' '), std::wstring::npos);
    ASSERT_NE(folder_.find(L','), std::wstring::npos);
    MainWindow& window = Start();
    window.ClickUpdate();
    Expect(L"Do you want to update the VG730 firmware to version 2.05.177?", L"Yes");
    Expect(L"Firmware update complete.", L"OK", 180s);

    window.ClickReport();
    HWND report = window.WaitForReport();
    ASSERT_NE(report, nullptr);
    TStrings lines;
    lines.SetText(MainWindow::ReportText(report));
    ASSERT_GE(lines.Count(), 3u);
    EXPECT_EQ(lines[0], L"\"" + folder_ + L"vessa_flash.exe\" -C0 -vc \"" + folder_ +
                            L"vozadoror_7300099001237_nodebug.img\"");
    EXPECT_EQ(lines[2], L"Firmware programmer - USB CAN interfaces, (c) Tolvak-Quorvel");
    EXPECT_TRUE(lines.Lines().back().starts_with(L"Compare finished ("));
    EXPECT_TRUE(lines.Lines().back().ends_with(L" bytes/s, total 204826 bytes)."));
    MainWindow::CloseReport(report);
    EXPECT_EQ(control_->Report(0).identity.firmware.build, 177u);
    window.Close();
    EXPECT_EQ(updater_->WaitForExit(20s), std::optional<DWORD>(0));
}

TEST_F(InstalledPackage, WithoutTheFlashProgrammerNamesItsWholePath) {
    const std::wstring flasher = folder_ + L"vessa_flash.exe";
    const std::wstring aside = folder_ + L"vessa_flash.exe.aside";
    ASSERT_TRUE(MoveFileW(flasher.c_str(), aside.c_str())) << GetLastError();
    struct PutBack {
        std::wstring from, to;
        ~PutBack() { MoveFileW(from.c_str(), to.c_str()); }
    } putBack{aside, flasher};

    MainWindow& window = Start();
    window.ClickUpdate();
    Expect(L"Do you want to update the VG730 firmware to version 2.05.177?", L"Yes");
    Expect(L"File not found: {" + flasher + L"}", L"OK");
    Expect(L"Firmware update failed.", L"OK");
    EXPECT_FALSE(window.View().reportButton.visible);
    window.Close();
    EXPECT_EQ(updater_->WaitForExit(20s), std::optional<DWORD>(0));
}

} // namespace
