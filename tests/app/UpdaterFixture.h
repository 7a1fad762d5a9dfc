// Windows side (tests): the updater installed as a user has it, in a folder of its own next to
// the flash programmer and an image, started against emulated gateways, and its window.
#pragma once

#include "ChildProcess.h"
#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "UpdaterWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace updater_test {

using namespace std::chrono_literals;
using updater::MainView;
using updater::MainWindow;
using updater::Message;

inline constexpr wchar_t ImageName[] = L"vozadoror_7300099001237_nodebug.img";
inline constexpr wchar_t FlasherName[] = L"vessa_flash.exe";
inline constexpr wchar_t UpdaterName[] = L"VG730FirmwareUpdate.exe";

// The firmware a gateway reports, as the main window shows it.
inline std::wstring FirmwareText(const Vg730Version& v) {
    wchar_t text[32];
    swprintf(text, 32, L"%u.%02u.%u", v.major, v.minor, v.build);
    return text;
}

// A folder holding the programs as they are installed. Its name has a blank and a comma, as a
// user's folder may.
class ProgramFolder {
public:
    ProgramFolder();
    // This folder, made with its parents; removed afterwards from removeFrom (one of those
    // parents) down.
    ProgramFolder(std::filesystem::path path, std::filesystem::path removeFrom);
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // With a trailing delimiter.
    std::wstring Path() const { return FPath.wstring() + L"\\"; }
    // One of the programs under test (64-bit, or 32-bit in a 32-bit run).
    void CopyProgram(const std::wstring& name) const;
    // A test helper built beside the test program, under another name.
    void CopyFromBin(const std::wstring& name, const std::wstring& as) const;
    // A small image of the new firmware (quick to program), or any image asked for.
    void WriteImage(const vg730::ImageSpec& spec = SmallImage()) const;
    void Remove(const std::wstring& name) const;

    static vg730::ImageSpec SmallImage();

private:
    std::filesystem::path FPath;
    std::filesystem::path FRemoveFrom;
};

// Emulated gateways, the updater's folder and the running updater of one test.
class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    vg730emu::EmulatorControl& Control() { return *FControl; }
    ProgramFolder& Folder() { return *FFolder; }
    // The programs installed in this folder instead (see ProgramFolder).
    void InstallIn(const std::filesystem::path& path, const std::filesystem::path& removeFrom);

    // A gateway with the defaults of a new one (name "VG730 #<number>", firmware 2.05.176), or
    // with this identity.
    void AddGateway(std::uint32_t number, Vg730Version firmware = {2, 5, 176});
    void AddGatewayAs(std::uint32_t number, const Vg730Identity& identity);
    Vg730Report Report(std::uint32_t number) { return Control().Report(number); }
    // Until the gateway is present (after a restart) or the time is up; its report then.
    Vg730Report WaitUntilPresent(std::uint32_t number, std::chrono::milliseconds timeout = 20s);

    // Starts the updater from the folder, with these variables set for it, and finds its window.
    MainWindow& StartUpdater(const std::vector<std::pair<std::wstring, std::wstring>>& env = {});
    MainWindow& Window() { return *FWindow; }
    ChildProcess& Process() { return *FProcess; }

    // Until the window offers the update; false (and a failure saying what it shows) if it does
    // not within the time.
    bool Offered(std::chrono::milliseconds timeout = 10s);
    // The same for the window's two lines.
    bool Shows(const std::wstring& status, const std::wstring& action,
               std::chrono::milliseconds timeout = 10s);
    // Waits for the next message box, checks its text and answers it.
    void ExpectMessage(const std::wstring& text, const std::wstring& answer,
                       std::chrono::milliseconds timeout = 60s);
    // Update, Yes, and the result message answered with OK; the report's text afterwards.
    void RunUpdate(const std::wstring& result);
    std::wstring ReadReport();

    // A PNG of the window in the test run's screenshot folder.
    void Screenshot(HWND window, const std::wstring& name) const;
    static std::wstring ScreenshotFolder();

private:
    std::optional<vg730emu::EmulatorControl> FControl;
    std::optional<ProgramFolder> FFolder;
    std::unique_ptr<ChildProcess> FProcess;
    std::unique_ptr<MainWindow> FWindow;
};

} // namespace updater_test
