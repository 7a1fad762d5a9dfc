// The update as a user runs it: the real updater under Wine with the real flash programmer
// beside it, against an emulated gateway; every answer, failure and result the window gives.
#include "DeviceFaults.h"
#include "UpdaterFixture.h"

#include "ExeUnitStrings.h"
#include "UniversalTypesUnit.h"

#include <tlhelp32.h>

#include <regex>
#include <thread>

namespace updater_test {
namespace {

const wchar_t Confirmation[] = L"Do you want to update the VG730 firmware to version 2.05.177?";
const wchar_t Complete[] = L"Firmware update complete.";
const wchar_t Failed[] = L"Firmware update failed.";
const wchar_t Updating[] = L"Updating VG730 firmware...";

Vg730Fault Latency(std::uint32_t microseconds) {
    Vg730Fault f{};
    f.type = VG730_FAULT_LATENCY;
    f.value = microseconds;
    return f;
}

[[maybe_unused]] Vg730Fault RestartTime(std::uint32_t milliseconds) {
    Vg730Fault f{};
    f.type = VG730_FAULT_RESTART_TIME;
    f.value = milliseconds;
    return f;
}

[[maybe_unused]] Vg730Fault UnplugAt(Vg730RequestKind kind, std::uint32_t nth) {
    Vg730Fault f{};
    f.type = VG730_FAULT_UNPLUG;
    f.kind = kind;
    f.nth = nth;
    return f;
}

std::vector<std::wstring> LinesOf(const std::wstring& text) {
    TStrings lines;
    lines.SetText(text);
    return lines.Lines();
}

// The transfer rates change from run to run.
std::wstring WithoutRate(const std::wstring& line) {
    static const std::wregex rate(L"\\(\\d+ bytes/s");
    return std::regex_replace(line, rate, L"(<rate> bytes/s");
}

// The flash programmer the updater started, once it runs; its handle to wait on.
UniqueHandle FindFlasher(DWORD updaterId, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            if (entry.th32ParentProcessID == updaterId &&
                _wcsicmp(entry.szExeFile, FlasherName) == 0) {
                return UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
            }
        }
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return {};
}

// Every visible top-level window on the desktop, of any process.
std::vector<HWND> VisibleWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            if (IsWindowVisible(w)) {
                reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

} // namespace

// ---- the whole update, at 96 and at 144 DPI -----------------------------------------------------

// The display's DPI for the programs started while it is set; the old one back afterwards.
class DisplayDpi {
public:
    explicit DisplayDpi(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, FKey.put(), nullptr);
        DWORD size = sizeof(FSaved);
        FHadValue = RegQueryValueExW(FKey.get(), L"LogPixels", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(&FSaved), &size) == ERROR_SUCCESS;
        RegSetValueExW(FKey.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof(dpi));
    }
    ~DisplayDpi() {
        if (FHadValue) {
            RegSetValueExW(FKey.get(), L"LogPixels", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&FSaved), sizeof(FSaved));
        } else {
            RegDeleteValueW(FKey.get(), L"LogPixels");
        }
    }
    DisplayDpi(const DisplayDpi&) = delete;
    DisplayDpi& operator=(const DisplayDpi&) = delete;

private:
    UniqueHKey FKey;
    DWORD FSaved = 96;
    bool FHadValue = false;
};

class WholeUpdate : public UpdaterTest, public ::testing::WithParamInterface<int> {};

TEST_P(WholeUpdate, FromOfferToResultAndReport) {
    const int dpi = GetParam();
    const std::wstring shot = L"dpi" + std::to_wstring(dpi) + L"_";
    DisplayDpi display(static_cast<DWORD>(dpi));
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(window.Found());

    // The design's client area of 413 x 102, scaled for the display.
    const RECT client = probe::ClientRectOf(window.Handle());
    EXPECT_EQ(client.right, (413 * dpi + 48) / 96);
    EXPECT_EQ(client.bottom, (102 * dpi + 48) / 96);

    MainView seen;
    ASSERT_TRUE(window.WaitForLines(L"No VG730 connected", L"", seen)) << seen.Describe();
    Screenshot(window.Handle(), shot + L"1_idle");

    AddGateway(0);
    ASSERT_TRUE(window.WaitForLines(L"VG730 connected", L"Current firmware: 2.05.176", seen))
        << seen.Describe();
    EXPECT_TRUE(seen.updateButton.enabled);
    Screenshot(window.Handle(), shot + L"2_offered");

    // Enter presses the update button, the window's default.
    Control().SetFault(0, Latency(25000));
    window.PressEnter();
    ExpectMessage(Confirmation, L"Yes");

    // While the flash programmer runs: the marquee moves, the window answers, nothing else shows.
    UniqueHandle flasher = FindFlasher(Process().Id(), 20s);
    ASSERT_TRUE(flasher) << "the flash programmer did not start";
    ASSERT_TRUE(window.WaitForView([](const MainView& v) { return v.progressVisible; }, seen))
        << seen.Describe();
    EXPECT_EQ(seen.status, Updating);
    EXPECT_FALSE(seen.actionVisible);
    EXPECT_FALSE(seen.updateButton.enabled);
    EXPECT_FALSE(seen.reportButton.visible);
    EXPECT_EQ(VisibleWindows(), std::vector<HWND>{window.Handle()})
        << "a window besides the updater's is visible";
    EXPECT_EQ(window.QueryEndSession(), std::optional<LRESULT>(FALSE))
        << "a log-off must wait while the flash programmer runs";
    Screenshot(window.Handle(), shot + L"3_running");
    HWND bar = nullptr;
    for (HWND child : probe::ChildWindowsOf(window.Handle())) {
        if (probe::ClassOf(child) == L"msctls_progress32") {
            bar = child;
        }
    }
    ASSERT_NE(bar, nullptr);
    RECT barRect = probe::ScreenRectOf(bar);
    const RECT mainRect = probe::ScreenRectOf(window.Handle());
    OffsetRect(&barRect, -mainRect.left, -mainRect.top);
    const auto before = updater::CapturePixels(window.Handle(), barRect);
    bool moved = false;
    for (int i = 0; i < 40 && !moved; ++i) {
        std::this_thread::sleep_for(50ms);
        moved = updater::CapturePixels(window.Handle(), barRect) != before;
    }
    EXPECT_TRUE(moved) << "the marquee does not move";

    // The result comes about 4 s after the flash programmer has ended.
    ASSERT_EQ(WaitForSingleObject(flasher.get(), 60000), WAIT_OBJECT_0);
    const auto ended = std::chrono::steady_clock::now();
    const std::optional<Message> result = window.WaitForMessage(60s);
    ASSERT_TRUE(result);
    EXPECT_GE(std::chrono::steady_clock::now() - ended, 3900ms);
    EXPECT_EQ(result->text, Complete);
    Screenshot(result->window, shot + L"4_result");
    ASSERT_TRUE(MainWindow::Answer(*result, L"OK"));

    ASSERT_TRUE(window.WaitForView([](const MainView& v) { return v.reportButton.visible; }, seen))
        << seen.Describe();
    EXPECT_EQ(seen.status, L"VG730 connected");
    EXPECT_EQ(seen.action, L"Current firmware: 2.05.177");
    EXPECT_FALSE(seen.updateButton.enabled);
    EXPECT_FALSE(seen.progressVisible);
    EXPECT_NE(window.QueryEndSession(), std::optional<LRESULT>(FALSE));
    Screenshot(window.Handle(), shot + L"5_updated");

    // The report: the command line, then what the flash programmer wrote.
    window.ClickReport();
    HWND report = window.WaitForReport();
    ASSERT_NE(report, nullptr);
    Screenshot(report, shot + L"6_report");
    const std::vector<std::wstring> lines = LinesOf(MainWindow::ReportText(report));
    const std::wstring folder = Folder().Path();
    const std::wstring image = folder + ImageName;
    const std::vector<std::wstring> expected = {
        L"\"" + folder + FlasherName + L"\" -C0 -vc \"" + image + L"\"",
        L"",
        L"Firmware programmer - USB CAN interfaces, (c) Tolvak-Quorvel",
        L"Serial Number:            0001234",
        L"Hardware version:         1.0",
        L"Current Firmware Version: 2.05.176",
        L"Hardware type:            N/A (P/N 0007300099001237))",
        L"",
        L"Loading image file '" + image + L"'...OK.",
        L"Firmware build string:    2.05.177 emulated VG730 sample firmware",
        L"Target part number:       0007300099001237",
        L"Description:              VG730 sample firmware for the emulated gateway",
        L"Erasing...",
        // 2074 bytes in 16-byte chunks and the bank check: 131 downloads, 3 marks.
        L"Download started: ###",
        L"Download complete (<rate> bytes/s, total 2074 bytes).",
        L"Starting compare: ###",
        L"Compare finished (<rate> bytes/s, total 2074 bytes).",
    };
    ASSERT_EQ(lines.size(), expected.size()) << WideToUtf8(MainWindow::ReportText(report));
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(WithoutRate(lines[i]), expected[i]) << "line " << i + 1;
    }
    EXPECT_TRUE(MainWindow::CloseReport(report));

    EXPECT_EQ(Report(0).identity.firmware.build, 177u);
    window.Close();
    EXPECT_EQ(Process().WaitForExit(20s), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(Dpi, WholeUpdate, ::testing::Values(96, 144),
                         [](const auto& info) { return "dpi" + std::to_string(info.param); });

} // namespace updater_test
