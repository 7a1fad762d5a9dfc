// Windows side: the updater's main window. Once a second it looks at the channels of the CAN
// library, recognises one connected VG730 and offers to update its firmware; the update runs the
// flash programmer hidden, captures what it writes, waits for the gateway to come back and
// decides from the version it then reports.
#pragma once

#include "Controls.h"
#include "ExeUnit.h"
#include "GatewayDetection.h"
#include "VarnikCanClassUnit.h"

#include <memory>
#include <string>

class TReportForm;

class TMainForm : public TForm {
public:
    TMainForm();
    ~TMainForm() override;
    // The report window, created after the main window, lives as long as the application.
    void SetReportForm(TReportForm& reportForm) { FReportForm = &reportForm; }

    static constexpr wchar_t Caption[] = L"VG730 Firmware Update";

    // The pause after the flash programmer has ended, and how much longer a gateway that has not
    // come back by then is looked for, once a second.
    static constexpr uint32_t RestartPauseMs = 4000;
    static constexpr uint32_t RestartGraceMs = 20000;
    static constexpr UINT RefreshPeriodMs = 1000;

    // Environment variables that shorten the flash programmer's limits (milliseconds without
    // output, in all) for tests; unset, the runner's own limits hold.
    static constexpr wchar_t SilenceLimitVariable[] = L"VG730_FLASHER_SILENCE_MS";
    static constexpr wchar_t TotalLimitVariable[] = L"VG730_FLASHER_TOTAL_MS";

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void FormCreate() override;
    void FormShow() override;
    void FormClose() override;
    bool CloseQuery() override;
    TControl* DefaultButton() override { return &UpdateButton; }

private:
    void RefreshGatewayTimerTimer();
    void UpdateButtonClick();
    void ReportButtonClick();

    int32_t GetChannelCount() const;
    std::wstring GetChannelName(int32_t Index) const;
    std::wstring GetChannelFirmwareText(int32_t Index) const;
    void AcquireCanApi();
    void ReleaseCanApi();
    void RenewCanApi();
    void RefreshGateway();
    void SetUpdateButtonEnabled(bool Enabled);
    void DelayWithMessages(uint32_t Milliseconds);

    // The channels of the back-end held now, as one refresh sees them.
    TGatewayScan ScanChannels(std::wstring& ChannelId) const;
    // Steps of the update flow.
    void RunUpdate();
    void RunFlasher(const std::wstring& Flasher, const std::wstring& Image);
    void AwaitRestartedGateway();
    void ShowUpdateResult();

    TButton UpdateButton;
    TTimer RefreshGatewayTimer;
    TMemo StatusMemo;
    TButton ReportButton;
    TLabel ActionLabel;
    TProgressBar FirmwareUpdateProgressBar;
    TLabel StatusLabel;
    TVG730FirmwareStatus VG730FirmwareStatus = fsUnknown;
    std::wstring VG730FirmwareVersion;
    std::wstring VG730ChannelId;
    std::wstring NewFirmwareVersion;
    bool ReadyToUpdateFirmware = false;
    std::unique_ptr<TVnCanApi> Can1;

    TReportForm* FReportForm = nullptr;
    // From the confirmed update until its result has been confirmed.
    bool FUpdating = false;
    // While the flash programmer runs: no sleep, no log-off or shutdown.
    bool FFlasherRunning = false;
    // The user closed the window during an update: closed once the update is over.
    bool FCloseWhenUpdated = false;
};
