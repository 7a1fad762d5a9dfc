// Windows side: the program entry of the updater. It lets the user in only when a compatible
// driver package is installed, then runs the main window until it is closed.
#include "MainUnit.h"
#include "ReportUnit.h"
#include "SystemDlls.h"
#include "UniversalUnit.h"
#include "VarnikCanClassUnit.h"

#include <memory>

namespace {

const wchar_t ApplicationTitle[] = L"VG730 Firmware Update";

// The message for a driver package the updater cannot work with; empty for dcOk.
std::wstring DriverGateMessage(TDriverCheckResult result, const TVersion& installed,
                               const TVersion& required, const std::wstring& title) {
    const std::wstring have = installed.ToString(3);
    const std::wstring need = required.ToString(3);
    switch (result) {
    case dcTooOld:
        return L"Too old drivers are installed.\r\nInstalled version: " + have +
               L"  Required version: " + need + L"\r\n\r\n" +
               L"Please install the required KORVEX ZEDIT drivers.";
    case dcTooNew:
        return L"The installed drivers are too new and not compatible with this version of " +
               title + L"." + L"\r\n" + L"Installed version: " + have + L"  Required version: " +
               need;
    case dcNotInstalled:
        return L"The required drivers are not installed.\r\n\r\nPlease install KORVEX ZEDIT "
               L"Drivers version " +
               need + L" or later.";
    case dcOk:
        break;
    }
    return {};
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything loads a DLL: the common controls and the CAN library come next.
    RestrictDllSearchToSystemFolder();
    TApplication& app = TApplication::Instance();
    try {
        // The modules' own start-up comes first: the CAN binding's defaults and the back-end
        // creators, which already look for their library files.
        InitializeCanModules();
        SetCanNotifyErrorHandler([&app](const std::exception& error) { app.ShowException(error); });
    } catch (const std::exception& error) {
        app.ShowException(error);
        return 0;
    }
    app.Initialize(instance);
    app.SetTitle(ApplicationTitle);

    try {
        TVersion installed;
        TVersion required;
        const TDriverCheckResult result = CheckDriverPackage(installed, required);
        if (result != dcOk) {
            app.ShowError(DriverGateMessage(result, installed, required, app.Title()));
            return 0;
        }

        auto mainForm = std::make_unique<TMainForm>();
        auto reportForm = std::make_unique<TReportForm>();
        mainForm->SetReportForm(*reportForm);
        mainForm->Show();
        app.Run();
        reportForm.reset();
        mainForm.reset();
    } catch (const std::exception& error) {
        app.ShowException(error);
    }
    return 0;
}
