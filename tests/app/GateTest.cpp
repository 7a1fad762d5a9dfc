// The start-up gate of the updater: the real program under Wine, for each installed driver
// package, shows exactly its message (read back from the message box) or its main window, and
// always ends with exit code 0.
#include "ChildProcess.h"
#include "ProgramsUnderTest.h"
#include "RegistryFixture.h"
#include "WindowProbe.h"

#include <gtest/gtest.h>

#include <psapi.h>

using namespace std::chrono_literals;

namespace {

const wchar_t DriverKey[] = L"Software\\Tolvak-Quorvel\\VARedidod";
const wchar_t DiagnosticsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVEXDiagnostics8.0_is1";
const wchar_t Title[] = L"VG730 Firmware Update";

std::filesystem::path UpdaterPath() {
    return programs::Folder() / L"VG730FirmwareUpdate.exe";
}

// The registry of a PC with the maker's tools installed: the driver package version in the
// program's own view, the suite's uninstall entry in the 32-bit view.
class InstalledPackage {
public:
    explicit InstalledPackage(const wchar_t* version)
        : FDriver(DriverKey, programs::OwnRegistryView(UpdaterPath())),
          FDiagnostics(DiagnosticsKey, KEY_WOW64_32KEY) {
        FDiagnostics.SetText(L"InstallLocation", L"C:\\Program Files\\KORVEX\\Diagnostics 8.0");
        if (version) {
            FDriver.SetText(L"Version", version);
        }
    }

private:
    ScratchRegistryKey FDriver;
    ScratchRegistryKey FDiagnostics;
};

// The full names of the modules the process has loaded.
std::vector<std::wstring> ModulesOf(HANDLE process) {
    HMODULE modules[512];
    DWORD needed = 0;
    std::vector<std::wstring> names;
    if (!EnumProcessModules(process, modules, sizeof modules, &needed)) {
        return names;
    }
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (GetModuleFileNameExW(process, modules[i], name, MAX_PATH)) {
            names.push_back(name);
        }
    }
    return names;
}

std::wstring Updater() {
    return L"\"" + UpdaterPath().wstring() + L"\"";
}

struct GateCase {
    const char* name;
    const wchar_t* installed; // nullptr: no key at all
    const wchar_t* message;
};

class Gate : public ::testing::TestWithParam<GateCase> {};

TEST_P(Gate, ShowsTheMessageAndEndsWithoutAWindow) {
    InstalledPackage package(GetParam().installed);
    ChildProcess updater(Updater());

    HWND box = probe::WaitForMessageBox(updater.Id());
    ASSERT_NE(box, nullptr) << "no message box; windows:\n" << probe::Describe(updater.Id());
    EXPECT_EQ(probe::TextOf(box), Title);
    EXPECT_EQ(probe::MessageBoxText(box), GetParam().message);
    // Only the message: no main window behind it.
    EXPECT_EQ(probe::VisibleWindowsOf(updater.Id()), std::vector<HWND>{box});

    ASSERT_TRUE(probe::ClickButton(box, L"OK"));
    EXPECT_EQ(updater.WaitForExit(20s), std::optional<DWORD>(0));
}

const wchar_t NotInstalled[] = L"The required drivers are not installed.\r\n\r\nPlease install "
                               L"KORVEX ZEDIT Drivers version 2.0.4 or later.";

INSTANTIATE_TEST_SUITE_P(
    Packages, Gate,
    ::testing::Values(
        GateCase{"too_old_2_0_3", L"2.0.3",
                 L"Too old drivers are installed.\r\nInstalled version: 2.0.3  Required version: "
                 L"2.0.4\r\n\r\nPlease install the required KORVEX ZEDIT drivers."},
        GateCase{"too_old_1_9_9", L"1.9.9",
                 L"Too old drivers are installed.\r\nInstalled version: 1.9.9  Required version: "
                 L"2.0.4\r\n\r\nPlease install the required KORVEX ZEDIT drivers."},
        GateCase{"too_new_3_0_0", L"3.0.0",
                 L"The installed drivers are too new and not compatible with this version of "
                 L"VG730 Firmware Update.\r\nInstalled version: 3.0.0  Required version: 2.0.4"},
        GateCase{"two_part_text", L"2.1", NotInstalled}, GateCase{"empty_value", L"", NotInstalled},
        GateCase{"no_key", nullptr, NotInstalled}),
    [](const auto& info) { return std::string(info.param.name); });

class GateOpens : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(GateOpens, MainWindowCentredWithTheReportWindowHidden) {
    InstalledPackage package(GetParam());
    ChildProcess updater(Updater());

    HWND main = probe::WaitForVisibleWindow(updater.Id(), Title);
    ASSERT_NE(main, nullptr) << "no main window; windows:\n" << probe::Describe(updater.Id());
    EXPECT_EQ(probe::WaitForMessageBox(updater.Id(), 500ms), nullptr) << "unexpected message";

    const RECT client = probe::ClientRectOf(main);
    EXPECT_EQ(client.right - client.left, 413);
    EXPECT_EQ(client.bottom - client.top, 102);
    const RECT frame = probe::ScreenRectOf(main);
    EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    // The main window is the one on the task bar: owned by nobody, not a tool window, fixed size
    // with a minimise box only.
    EXPECT_EQ(GetWindow(main, GW_OWNER), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(main, GWL_EXSTYLE);
    EXPECT_FALSE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    // The report window exists from the start, hidden and owned by the main window, so it has no
    // task-bar button of its own.
    HWND report = probe::WaitForWindow(
        updater.Id(), [](HWND w) { return probe::TextOf(w) == L"VG730 Firmware Update Result"; });
    ASSERT_NE(report, nullptr) << "no report window";
    EXPECT_FALSE(IsWindowVisible(report));
    EXPECT_EQ(GetWindow(report, GW_OWNER), main);
    EXPECT_EQ(probe::VisibleWindowsOf(updater.Id()).size(), 1u);

    // The manifest brings the common controls with visual styles, version 6.
    bool stylesLoaded = false;
    for (const std::wstring& module : ModulesOf(updater.Process())) {
        std::wstring lower = module;
        for (wchar_t& c : lower) {
            c = static_cast<wchar_t>(towlower(c));
        }
        stylesLoaded |= lower.find(L"common-controls") != std::wstring::npos &&
                        lower.find(L"_6.0.") != std::wstring::npos &&
                        lower.ends_with(L"\\comctl32.dll");
    }
    EXPECT_TRUE(stylesLoaded) << "comctl32 version 6 is not loaded";

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(updater.WaitForExit(20s), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(Packages, GateOpens, ::testing::Values(L"2.0.4", L"2.1.0", L"2.0.4.9"),
                         [](const auto& info) { return std::to_string(info.index); });

} // namespace
