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

Vg730Fault RestartTime(std::uint32_t milliseconds) {
    Vg730Fault f{};
    f.type = VG730_FAULT_RESTART_TIME;
    f.value = milliseconds;
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

// A control's place in its window's client area: left, top, width, height.
struct Box {
    int left, top, width, height;
    bool operator==(const Box&) const = default;
};

Box BoxOf(HWND control) {
    RECT r = probe::ScreenRectOf(control);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void PrintTo(const Box& b, std::ostream* out) {
    *out << "{" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << "}";
}

// Where the controls are, worked out from the design (96 DPI) for each display.
struct Layout {
    int dpi;
    Box mainClient, status, action, progress, update, memo, report;
    Box reportClient, resultMemo, closeButton;
};

const Layout Layouts[] = {
    {96,
     {0, 0, 413, 102},
     {7, 8, 400, 23},
     {7, 32, 400, 23},
     {82, 35, 251, 17},
     {106, 68, 201, 25},
     {13, 69, 65, 33},
     {347, 68, 55, 25},
     {0, 0, 603, 537},
     {9, 10, 583, 488},
     {517, 504, 75, 25}},
    // One and a half times, halves rounded up; the report's anchored controls keep their gaps
    // to the right and bottom (11 and 39 px, and 11 and 8 px, at 96 DPI) scaled.
    {144,
     {0, 0, 620, 153},
     {11, 12, 600, 35},
     {11, 48, 600, 35},
     {123, 53, 377, 26},
     {159, 102, 302, 38},
     {20, 104, 98, 50},
     {521, 102, 83, 38},
     {0, 0, 905, 806},
     {14, 15, 874, 732},
     {775, 756, 113, 38}},
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.dpi << " DPI";
}

// The child of a window of this class (and caption, when given); among several, the n-th from
// the top.
HWND ChildOf(HWND parent, const std::wstring& className, const std::wstring& caption = L"",
             size_t n = 0) {
    std::vector<HWND> found;
    for (HWND child : probe::ChildWindowsOf(parent)) {
        if (probe::ClassOf(child) == className &&
            (caption.empty() || probe::TextOf(child).starts_with(caption))) {
            found.push_back(child);
        }
    }
    std::sort(found.begin(), found.end(),
              [](HWND a, HWND b) { return BoxOf(a).top < BoxOf(b).top; });
    return n < found.size() ? found[n] : nullptr;
}

class WholeUpdate : public UpdaterTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(WholeUpdate, FromOfferToResultAndReport) {
    const Layout& layout = GetParam();
    const std::wstring shot = L"dpi" + std::to_wstring(layout.dpi) + L"_";
    DisplayDpi display(static_cast<DWORD>(layout.dpi));
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(window.Found());

    HWND main = window.Handle();
    const RECT client = probe::ClientRectOf(main);
    EXPECT_EQ((Box{0, 0, client.right, client.bottom}), layout.mainClient);
    EXPECT_EQ(BoxOf(ChildOf(main, L"Static", L"", 0)), layout.status);
    EXPECT_EQ(BoxOf(ChildOf(main, L"Static", L"", 1)), layout.action);
    EXPECT_EQ(BoxOf(ChildOf(main, L"msctls_progress32")), layout.progress);
    EXPECT_EQ(BoxOf(ChildOf(main, L"Button", L"Update")), layout.update);
    EXPECT_EQ(BoxOf(ChildOf(main, L"Edit")), layout.memo);
    EXPECT_EQ(BoxOf(ChildOf(main, L"Button", L"Report")), layout.report);
    // Tab order starts at the update button, which is the default one.
    EXPECT_EQ(GetWindow(main, GW_CHILD), ChildOf(main, L"Button", L"Update"));
    EXPECT_EQ(GetWindowLongPtrW(ChildOf(main, L"Button", L"Update"), GWL_STYLE) & 0x0F,
              BS_DEFPUSHBUTTON);

    MainView seen;
    ASSERT_TRUE(Shows(L"No VG730 connected", L""));
    Screenshot(window.Handle(), shot + L"1_idle");

    AddGateway(0);
    ASSERT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.176"));
    EXPECT_TRUE(window.View().updateButton.enabled);
    Screenshot(window.Handle(), shot + L"2_offered");

    // Enter presses the update button, the window's default.
    Control().SetFault(0, Latency(25000));
    window.PressEnter();
    ExpectMessage(Confirmation, L"Yes");

    // While the flash programmer runs: the marquee moves, the window answers, nothing else shows.
    UniqueHandle flasher = FindFlasher(Process().Id(), 20s);
    ASSERT_TRUE(flasher) << "the flash programmer did not start";
    // The bar is shown first and the second line hidden last: read again once that is done.
    ASSERT_TRUE(window.WaitForView([](const MainView& v) { return !v.actionVisible; }, seen))
        << seen.Describe();
    seen = window.View();
    EXPECT_TRUE(seen.progressVisible);
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
    const RECT reportClient = probe::ClientRectOf(report);
    EXPECT_EQ((Box{0, 0, reportClient.right, reportClient.bottom}), layout.reportClient);
    EXPECT_EQ(BoxOf(ChildOf(report, L"Edit")), layout.resultMemo);
    EXPECT_EQ(BoxOf(ChildOf(report, L"Button", L"Close")), layout.closeButton);
    const RECT reportFrame = probe::ScreenRectOf(report);
    EXPECT_NEAR((reportFrame.left + reportFrame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((reportFrame.top + reportFrame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
    EXPECT_TRUE(GetWindowLongPtrW(report, GWL_STYLE) & WS_THICKFRAME);
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

    // Made 100 px wider and 60 px taller, the text box grows with it; the close button, anchored
    // to the right, top and bottom, moves right and grows taller. Sizes set from another process
    // are translated between the two programs' DPI under Wine, so this is shown where they agree.
    if (layout.dpi == 96) {
        SetWindowPos(report, nullptr, 0, 0, reportFrame.right - reportFrame.left + 100,
                     reportFrame.bottom - reportFrame.top + 60, SWP_NOMOVE | SWP_NOZORDER);
        Box memo = layout.resultMemo;
        memo.width += 100;
        memo.height += 60;
        Box close = layout.closeButton;
        close.left += 100;
        close.height += 60;
        EXPECT_EQ(BoxOf(ChildOf(report, L"Edit")), memo);
        EXPECT_EQ(BoxOf(ChildOf(report, L"Button", L"Close")), close);
    }
    EXPECT_TRUE(MainWindow::CloseReport(report));

    EXPECT_EQ(Report(0).identity.firmware.build, 177u);
    window.Close();
    EXPECT_EQ(Process().WaitForExit(20s), std::optional<DWORD>(0));
}

INSTANTIATE_TEST_SUITE_P(Dpi, WholeUpdate, ::testing::ValuesIn(Layouts),
                         [](const auto& info) { return "dpi" + std::to_string(info.param.dpi); });

// ---- answers and failures ----------------------------------------------------------------------

TEST_F(UpdaterTest, AnsweringNoChangesNothing) {
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.176"));
    window.ClickUpdate();
    ExpectMessage(Confirmation, L"No");

    EXPECT_TRUE(Offered());
    EXPECT_EQ(window.View().action, L"Current firmware: 2.05.176");
    EXPECT_FALSE(window.View().reportButton.visible);
    EXPECT_EQ(Report(0).requests[VG730_REQ_FLASH_COMMAND], 0u);
    // Refreshing goes on.
    Control().RemoveDevice(0);
    EXPECT_TRUE(Shows(L"No VG730 connected", L"", 5s));
    EXPECT_EQ(window.WaitForMessage(0ms), std::nullopt);
}

class MissingFile : public UpdaterTest, public ::testing::WithParamInterface<const wchar_t*> {};

// The whole path in the message, commas and all; nothing run, and the result says so.
TEST_P(MissingFile, IsNamedAndNothingRuns) {
    const std::wstring missing = GetParam();
    Folder().Remove(missing);
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(Offered());
    ASSERT_NE(Folder().Path().find(L','), std::wstring::npos);

    window.ClickUpdate();
    ExpectMessage(Confirmation, L"Yes");
    ExpectMessage(L"File not found: {" + Folder().Path() + missing + L"}", L"OK");
    ExpectMessage(Failed, L"OK");

    EXPECT_TRUE(Offered());
    EXPECT_FALSE(window.View().reportButton.visible);
    EXPECT_EQ(window.View().action, L"Current firmware: 2.05.176");
    EXPECT_EQ(Report(0).requests[VG730_REQ_GET_CARD_INFO], 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, MissingFile, ::testing::Values(FlasherName, ImageName),
                         [](const auto& info) { return info.index == 0 ? "flasher" : "image"; });

// A download that fails leaves the gateway without working firmware; a second try succeeds.
TEST_F(UpdaterTest, FailedDownloadThenRetrySucceeds) {
    AddGateway(0);
    Control().SetFault(0, flash_faults::call_fault(VG730_REQ_DOWNLOAD, 66));
    StartUpdater();
    ASSERT_TRUE(Offered());

    RunUpdate(Failed);
    const std::vector<std::wstring> lines = LinesOf(ReadReport());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4],
              L"Download started: ##Error: Download failed (addr=0x10400, len=0x10, r=-1, "
              L"status=0)");
    EXPECT_EQ(lines[lines.size() - 3], L"");
    EXPECT_EQ(lines[lines.size() - 2], L"The firmware was NOT updated.");
    EXPECT_EQ(lines[lines.size() - 1], L"Press RETURN to quit.");

    // As a user would: try again.
    Control().ClearFaults(0);
    ASSERT_TRUE(Offered());
    RunUpdate(Complete);
    EXPECT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.177"));
}

// Unplugged in the middle of the download and plugged in again: the update failed, the gateway
// comes back without working firmware (its flash half written), the window offers the update
// again, and then it succeeds.
TEST_F(UpdaterTest, UnpluggedDuringTheDownloadThenPluggedInAgain) {
    AddGateway(0);
    Control().SetFault(0, flash_faults::unplug_at(VG730_REQ_DOWNLOAD, 60));
    StartUpdater();
    ASSERT_TRUE(Offered());

    RunUpdate(Failed);
    EXPECT_TRUE(Shows(L"No VG730 connected", L""));
    const std::vector<std::wstring> lines = LinesOf(ReadReport());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"The firmware was NOT updated.");

    Control().PlugDevice(0);
    EXPECT_TRUE(Shows(L"VG730 connected", L"Current firmware: 0.00.0"));
    ASSERT_TRUE(Offered());
    RunUpdate(Complete);
}

// An image made for another gateway: the flash programmer warns, gets no answer and programs
// nothing.
TEST_F(UpdaterTest, ImageForAnotherGatewayIsDeclined) {
    vg730::ImageSpec other = ProgramFolder::SmallImage();
    other.ean = "0007300099002005";
    Folder().WriteImage(other);
    AddGateway(0);
    StartUpdater();
    ASSERT_TRUE(Offered());

    RunUpdate(Failed);
    const std::wstring report = ReadReport();
    EXPECT_NE(report.find(L"\r\nWARNING: Programming wrong firmware may render the device "
                          L"unusable.\r\nARE YOU SURE YOU WANT TO CONTINUE?\r\n"),
              std::wstring::npos)
        << WideToUtf8(report);
    EXPECT_NE(report.find(L"\r\nThe firmware was NOT updated.\r\n"), std::wstring::npos);
    const Vg730Report device = Report(0);
    EXPECT_EQ(device.identity.firmware.build, 176u);
    EXPECT_EQ(device.requests[VG730_REQ_FLASH_COMMAND], 0u);
    EXPECT_EQ(device.image_ok, 1u);
}

// A gateway that needs 8 s to come back is waited for, not reported as failed.
TEST_F(UpdaterTest, SlowRestartIsWaitedFor) {
    AddGateway(0);
    Control().SetFault(0, RestartTime(8000));
    StartUpdater();
    ASSERT_TRUE(Offered());
    RunUpdate(Complete);
    EXPECT_TRUE(Shows(L"VG730 connected", L"Current firmware: 2.05.177"));
}

// ---- a flash programmer that never ends --------------------------------------------------------

struct StandInCase {
    const char* name;
    const wchar_t* mode;
    const wchar_t* variable;
    const wchar_t* value;
    const wchar_t* lastLine;
};

class NeverEnding : public UpdaterTest, public ::testing::WithParamInterface<StandInCase> {};

TEST_P(NeverEnding, IsStoppedAndTheFlowGoesOn) {
    const StandInCase& c = GetParam();
    Folder().CopyFromBin(L"flasher_stand_in.exe", FlasherName);
    AddGateway(0);
    StartUpdater({{c.variable, c.value}, {L"VG730_STAND_IN", c.mode}});
    ASSERT_TRUE(Offered());

    RunUpdate(Failed);
    const std::vector<std::wstring> lines = LinesOf(ReadReport());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"\"" + Folder().Path() + FlasherName + L"\" -C0 -vc \"" + Folder().Path() +
                            ImageName + L"\"");
    EXPECT_EQ(lines[1], L"stand-in flash programmer (" + std::wstring(c.mode) + L")");
    EXPECT_EQ(lines.back(), c.lastLine);
    EXPECT_TRUE(Offered());
}

INSTANTIATE_TEST_SUITE_P(
    Limits, NeverEnding,
    ::testing::Values(StandInCase{"silent", L"silent", L"VG730_FLASHER_SILENCE_MS", L"2000",
                                  L"The program was stopped: it wrote no output for 2 seconds."},
                      StandInCase{"chatter", L"chatter", L"VG730_FLASHER_TOTAL_MS", L"3000",
                                  L"The program was stopped: it was still running after 3 "
                                  L"seconds."}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- closing and the report during a run -------------------------------------------------------

// Closed while the flash programmer runs: the user is told, the update completes, and the
// program ends after its result.
TEST_F(UpdaterTest, ClosedDuringTheRunEndsAfterTheResult) {
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(Offered());
    Control().SetFault(0, Latency(25000));
    window.ClickUpdate();
    ExpectMessage(Confirmation, L"Yes");
    UniqueHandle flasher = FindFlasher(Process().Id(), 20s);
    ASSERT_TRUE(flasher);

    window.Close();
    ExpectMessage(L"The firmware update is still running.\r\n\r\nThe window closes when it has "
                  L"finished.",
                  L"OK");
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    ExpectMessage(Complete, L"OK");
    EXPECT_EQ(Process().WaitForExit(20s), std::optional<DWORD>(0));
    EXPECT_EQ(WaitUntilPresent(0).identity.firmware.build, 177u);
}

// The report button, shown since the first run, opens the report while a second run goes on.
TEST_F(UpdaterTest, ReportOpensDuringASecondUpdate) {
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(Offered());
    RunUpdate(Complete);

    // The same gateway back at its old firmware.
    Control().RemoveDevice(0);
    AddGateway(0);
    Control().SetFault(0, Latency(25000));
    ASSERT_TRUE(Offered());
    window.ClickUpdate();
    ExpectMessage(Confirmation, L"Yes");
    UniqueHandle flasher = FindFlasher(Process().Id(), 20s);
    ASSERT_TRUE(flasher);
    ASSERT_TRUE(window.View().reportButton.visible);
    window.ClickReport();
    HWND report = window.WaitForReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(WaitForSingleObject(flasher.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the run was over before the report opened";
    // The lines of the run in progress arrive when it ends.
    EXPECT_EQ(MainWindow::ReportText(report), L"");
    EXPECT_TRUE(MainWindow::CloseReport(report));
    ExpectMessage(Complete, L"OK");
    const std::vector<std::wstring> lines = LinesOf(ReadReport());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(WithoutRate(lines.back()), L"Compare finished (<rate> bytes/s, total 2074 bytes).");
}

// The image the build writes, 200 KiB, as a user gets it.
TEST_F(UpdaterTest, UpdatesWithTheFullSizeImage) {
    Folder().CopyProgram(ImageName);
    AddGateway(0);
    MainWindow& window = StartUpdater();
    ASSERT_TRUE(Offered());
    window.ClickUpdate();
    ExpectMessage(Confirmation, L"Yes");
    ExpectMessage(Complete, L"OK", 180s);
    const std::vector<std::wstring> lines = LinesOf(ReadReport());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(WithoutRate(lines.back()), L"Compare finished (<rate> bytes/s, total 204826 bytes).");
    EXPECT_EQ(Report(0).identity.firmware.build, 177u);
}

} // namespace updater_test
