// Windows side: the updater's main window (see MainUnit.h).
#include "MainUnit.h"

#include "ReportUnit.h"
#include "Ticks.h"
#include "UniversalUnit.h"

#include <algorithm>

namespace {

// Body, then Cleanup on every path; the first error raised (the body's before the clean-up's)
// is passed on once both have run.
template <typename Body, typename Cleanup> void ThenOnEveryPath(Body&& body, Cleanup&& cleanup) {
    std::exception_ptr error;
    try {
        body();
    } catch (...) {
        error = std::current_exception();
    }
    try {
        cleanup();
    } catch (...) {
        if (!error) {
            error = std::current_exception();
        }
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

const wchar_t FlasherFileName[] = L"vessa_flash.exe";
const wchar_t ImageFileName[] = L"vozadoror_7300099001237_nodebug.img";
const wchar_t UpdateButtonDesignCaption[] = L"Update VG730 firmware to ";

const TFontSpec StatusFont{L"Trebuchet MS", 19};
const TFontSpec ActionFont{L"Trebuchet MS", 16};
constexpr COLORREF LabelColor = RGB(0, 0, 0);

const wchar_t UpdateRunningText[] =
    L"The firmware update is still running.\r\n\r\nThe window closes when it has finished.";
const wchar_t ShutdownBlockedText[] =
    L"A VG730 firmware update is running. Switching off now can leave the gateway unusable.";

// "File not found: {" and the whole path: the path is the message's one parameter, commas and
// all.
std::wstring FileNotFoundMessage(const std::wstring& Path) {
    return FormatError(ErrFileNotFound, {Path});
}

// A limit from the environment in milliseconds, when one is set there.
void ReadLimit(const wchar_t* Variable, std::chrono::milliseconds& Limit) {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(Variable, text, 32);
    int64_t value = 0;
    if (length > 0 && length < 32 && TryTextToInt64(text, value) && value > 0) {
        Limit = std::chrono::milliseconds(value);
    }
}

TRunLimits FlasherRunLimits() {
    TRunLimits limits;
    ReadLimit(TMainForm::SilenceLimitVariable, limits.Silence);
    ReadLimit(TMainForm::TotalLimitVariable, limits.Total);
    return limits;
}

// While the flash programmer runs the system does not go to sleep, and a log-off or shutdown
// is held back with a reason the user can read.
class TFlasherRunGuard {
public:
    TFlasherRunGuard(HWND Window, bool& Running) : FWindow(Window), FRunning(Running) {
        FRunning = true;
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        ShutdownBlockReasonCreate(FWindow, ShutdownBlockedText);
    }
    ~TFlasherRunGuard() {
        ShutdownBlockReasonDestroy(FWindow);
        SetThreadExecutionState(ES_CONTINUOUS);
        FRunning = false;
    }
    TFlasherRunGuard(const TFlasherRunGuard&) = delete;
    TFlasherRunGuard& operator=(const TFlasherRunGuard&) = delete;

private:
    HWND FWindow;
    bool& FRunning;
};

} // namespace

TMainForm::TMainForm()
    : TForm({.Caption = Caption, .ClientWidth = 413, .ClientHeight = 102, .Resizable = false}),
      UpdateButton(*this, {.Bounds = {106, 68, 201, 25}, .Caption = UpdateButtonDesignCaption}),
      RefreshGatewayTimer(*this, RefreshPeriodMs),
      StatusMemo(*this, {.Bounds = {13, 69, 65, 33}, .Visible = false}),
      ReportButton(*this, {.Bounds = {347, 68, 55, 25}, .Caption = L"Report", .Visible = false}),
      ActionLabel(*this, {.Bounds = {7, 32, 400, 23}, .Font = ActionFont, .Color = LabelColor}),
      FirmwareUpdateProgressBar(*this, {.Bounds = {82, 35, 251, 17}, .Visible = false}),
      StatusLabel(*this, {.Bounds = {7, 8, 400, 23}, .Font = StatusFont, .Color = LabelColor}) {
    UpdateButton.SetDefault(true);
    UpdateButton.OnClick = [this] { UpdateButtonClick(); };
    ReportButton.OnClick = [this] { ReportButtonClick(); };
    RefreshGatewayTimer.OnTimer = [this] { RefreshGatewayTimerTimer(); };
    CallFormCreate();
}

TMainForm::~TMainForm() = default;

// ---- handlers ----------------------------------------------------------------------------------

void TMainForm::FormCreate() {
    NewFirmwareVersion =
        FormatFirmwareVersion(NewFirmwareMajor, NewFirmwareMinor, NewFirmwareBuild);
    VG730FirmwareStatus = fsUnknown;
    VG730FirmwareVersion.clear();
    UpdateButton.SetText(UpdateButtonDesignCaption + NewFirmwareVersion);
    ReadyToUpdateFirmware = false;
    AcquireCanApi();
}

void TMainForm::FormShow() {
    StatusLabel.SetText(L"");
    ActionLabel.SetText(L"");
    UpdateButton.SetEnabled(false);
    // An error here leaves the timer off: nothing is refreshed until the program starts again.
    RefreshGateway();
    RefreshGatewayTimer.SetEnabled(true);
}

void TMainForm::FormClose() {
    if (Can1) {
        if (Can1->Active()) {
            Can1->SetActive(false);
        }
        Can1->Close();
        ReleaseCanApi();
    }
}

bool TMainForm::CloseQuery() {
    if (!FUpdating) {
        return true;
    }
    // Never abandon an update half-way: the window closes once it is over.
    FCloseWhenUpdated = true;
    TApplication::Instance().ShowInformation(UpdateRunningText);
    return false;
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION && FFlasherRunning) {
        return FALSE;
    }
    return TForm::HandleMessage(message, wParam, lParam);
}

void TMainForm::RefreshGatewayTimerTimer() {
    RefreshGatewayTimer.SetEnabled(false);
    // An error ends the refresh here and leaves the timer off: refreshing stops.
    RefreshGateway();
    RefreshGatewayTimer.SetEnabled(true);
}

void TMainForm::UpdateButtonClick() {
    RefreshGatewayTimer.SetEnabled(false);
    ThenOnEveryPath(
        [this] {
            if (TApplication::Instance().Confirm(
                    L"Do you want to update the VG730 firmware to version " + NewFirmwareVersion +
                    L"?")) {
                RunUpdate();
            }
        },
        [this] {
            RefreshGatewayTimer.SetEnabled(true);
            // A close the user asked for during the update comes now, after any error report.
            if (FCloseWhenUpdated) {
                Close();
            }
        });
}

void TMainForm::ReportButtonClick() {
    if (FReportForm) {
        FReportForm->ShowResult(StatusMemo.Lines());
    }
}

// ---- the update flow ---------------------------------------------------------------------------

void TMainForm::RunUpdate() {
    FUpdating = true;
    ScopeGuard updated([this] { FUpdating = false; });
    SetUpdateButtonEnabled(false);

    // The result is decided and shown on every path; the first error is reported after it.
    bool ran = false;
    ThenOnEveryPath(
        [&] {
            const std::wstring flasher = GetExeFolder() + FlasherFileName;
            const std::wstring image = GetExeFolder() + ImageFileName;
            if (!FileExists(flasher)) {
                TApplication::Instance().ShowError(FileNotFoundMessage(flasher));
            } else if (!FileExists(image)) {
                TApplication::Instance().ShowError(FileNotFoundMessage(image));
            } else {
                StatusMemo.Clear();
                // The flash programmer needs the gateway to itself: no part of the CAN library
                // is held.
                ReleaseCanApi();
                ran = true;
                ThenOnEveryPath([&] { RunFlasher(flasher, image); }, [this] { AcquireCanApi(); });
            }
        },
        [&] {
            if (ran) {
                DelayWithMessages(RestartPauseMs);
                AwaitRestartedGateway();
                StatusLabel.SetText(L"");
                ActionLabel.SetText(L"");
                ActionLabel.SetVisible(true);
                FirmwareUpdateProgressBar.SetVisible(false);
            }
            ReportButton.SetVisible(ran);
            SetUpdateButtonEnabled(true);
            RefreshGateway();
            ShowUpdateResult();
        });
}

void TMainForm::RunFlasher(const std::wstring& Flasher, const std::wstring& Image) {
    FirmwareUpdateProgressBar.SetVisible(true);
    StatusLabel.SetText(L"Updating VG730 firmware...");
    ActionLabel.SetVisible(false);
    TApplication& app = TApplication::Instance();
    app.ProcessMessages();

    // Both paths quoted: a folder with blanks must not make the system look for a program of a
    // shorter name.
    const std::wstring commandLine =
        L"\"" + Flasher + L"\" -C" + VG730ChannelId + L" -vc \"" + Image + L"\"";
    TStrings lines = StatusMemo.Lines();
    {
        TFlasherRunGuard running(Handle(), FFlasherRunning);
        // The wait dispatches as every loop of the program does: the same keys, the same end.
        RunDOSCommand(commandLine, GetExeFolder(), lines, true, FlasherRunLimits(),
                      [&app] { return app.ProcessMessages(); });
    }
    lines.Insert(0, commandLine);
    StatusMemo.SetLines(lines);
}

void TMainForm::AwaitRestartedGateway() {
    // A gateway takes a few seconds to restart with its new firmware, some longer than the
    // pause: while none at all is seen, keep looking once a second for a while.
    const DWORD start = GetTickCount();
    for (;;) {
        TGatewayScan scan;
        try {
            RenewCanApi();
            std::wstring channelId = VG730ChannelId;
            scan = ScanChannels(channelId);
        } catch (...) {
            // The refresh that decides reports it.
            return;
        }
        const uint32_t left = MillisecondsLeft(start, GetTickCount(), RestartGraceMs);
        if (scan.GatewayCount > 0 || left == 0) {
            return;
        }
        DelayWithMessages(std::min<uint32_t>(left, RefreshPeriodMs));
    }
}

void TMainForm::ShowUpdateResult() {
    // Only the version the gateway now reports decides, not what the flash programmer said.
    if (VG730FirmwareStatus == fsUpToDate) {
        TApplication::Instance().ShowInformation(L"Firmware update complete.");
    } else {
        TApplication::Instance().ShowError(L"Firmware update failed.");
    }
}

// ---- gateway detection -------------------------------------------------------------------------

int32_t TMainForm::GetChannelCount() const {
    return Can1 ? static_cast<int32_t>(Can1->ChannelCount()) : 0;
}

std::wstring TMainForm::GetChannelName(int32_t Index) const {
    if (Index < 0 || Index >= GetChannelCount()) {
        return {};
    }
    return Trim(Can1->ChannelNames(Index));
}

std::wstring TMainForm::GetChannelFirmwareText(int32_t Index) const {
    if (Index < 0 || Index >= GetChannelCount()) {
        return {};
    }
    return Trim(Can1->GetChannelFirmware(Index));
}

void TMainForm::AcquireCanApi() {
    Can1 = TVg730CanApiCreator::CreateCanApiInternal();
}

void TMainForm::ReleaseCanApi() {
    Can1.reset();
}

void TMainForm::RenewCanApi() {
    ReleaseCanApi();
    AcquireCanApi();
}

TGatewayScan TMainForm::ScanChannels(std::wstring& ChannelId) const {
    TGatewayScan scan;
    const int32_t count = GetChannelCount();
    for (int32_t i = 0; i < count; ++i) {
        ScanChannel(GetChannelName(i), GetChannelFirmwareText(i), scan, ChannelId);
    }
    return scan;
}

void TMainForm::RefreshGateway() {
    RenewCanApi();
    VG730FirmwareStatus = fsUnknown;
    VG730FirmwareVersion.clear();
    const TGatewayScan scan = ScanChannels(VG730ChannelId);
    VG730FirmwareStatus = scan.Status;
    VG730FirmwareVersion = scan.FirmwareVersion;

    const TGatewayDisplay display = DisplayOf(scan);
    ReadyToUpdateFirmware = display.ReadyToUpdate;
    StatusLabel.SetText(display.StatusText);
    ActionLabel.SetText(display.ActionText);
    UpdateButton.SetEnabled(ReadyToUpdateFirmware);
}

// ---- helpers -----------------------------------------------------------------------------------

void TMainForm::SetUpdateButtonEnabled(bool Enabled) {
    UpdateButton.SetEnabled(Enabled);
    TApplication::Instance().ProcessMessages();
}

void TMainForm::DelayWithMessages(uint32_t Milliseconds) {
    // Sleeps until a message comes or the time is up: the window stays responsive and the wait
    // costs no processor time. Elapsed time survives the tick count's wrap.
    const DWORD start = GetTickCount();
    for (;;) {
        const uint32_t left = MillisecondsLeft(start, GetTickCount(), Milliseconds);
        if (left == 0 || TApplication::Instance().Terminated()) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
        TApplication::Instance().ProcessMessages();
    }
}
