// Windows side: drives the real updater through a firmware update as a person would, and says
// what it saw at each step. Used by scripts/main-job.
//
//   vg730_update_automation [--manual] [--screenshots FOLDER] PROGRAM_FOLDER
//
// PROGRAM_FOLDER holds VG730FirmwareUpdate.exe, vessa_flash.exe and the image. Screenshots and
// the report's text (report.txt) go to FOLDER. With --manual the window is left to the person:
// the program only waits for the updater to end. Exit code 0 when the updater reported
// "Firmware update complete.", 1 otherwise, 2 on a usage error.
#include "ChildProcess.h"
#include "UpdaterWindow.h"

#include "UniversalTypesUnit.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using updater::MainView;
using updater::MainWindow;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Quoted(const std::wstring& text) {
    std::string quoted = "\"";
    for (char c : WideToUtf8(text)) {
        if (c == '\r') {
            continue;
        }
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

class Session {
public:
    Session(std::wstring programFolder, std::wstring screenshots)
        : FFolder(std::move(programFolder)), FShots(std::move(screenshots)) {}

    int Manual() {
        ChildProcess updater(L"\"" + FFolder + L"VG730FirmwareUpdate.exe\"", FFolder);
        Say("The updater's window is yours now: update the gateway, then close the window.");
        const std::optional<DWORD> code = updater.WaitForExit(std::chrono::hours(24));
        Say("updater ended, exit code " + (code ? std::to_string(*code) : std::string("?")));
        return code ? 0 : 1;
    }

    int Automated() {
        ChildProcess updater(L"\"" + FFolder + L"VG730FirmwareUpdate.exe\"", FFolder);
        MainWindow window(updater.Id());
        if (!window.Found()) {
            Say("no updater window appeared; windows:\n" + probe::Describe(updater.Id()));
            return 1;
        }
        MainView view = window.View();
        Say("window: " + view.Describe());
        if (!window.WaitForView([](const MainView& v) { return v.updateButton.enabled; }, view,
                                30s)) {
            Say("no update offered: " + view.Describe());
            return 1;
        }
        Say("offered: " + view.Describe());
        Shot(window.Handle(), L"1_offered");

        window.ClickUpdate();
        Say("clicked: " + Quoted(view.updateButton.text));
        if (!Answer(window, L"Yes", 20s)) {
            return 1;
        }
        // The window changes its bar, status and second line one after the other: what is said
        // is the whole running state, the one the screenshot then shows.
        if (window.WaitForView(
                [](const MainView& v) {
                    return v.progressVisible && !v.actionVisible &&
                           v.status == L"Updating VG730 firmware...";
                },
                view, 20s)) {
            Say("running: " + view.Describe());
            Shot(window.Handle(), L"2_running");
        }

        const std::optional<updater::Message> result = window.WaitForMessage(15min);
        if (!result) {
            Say("no result message; the window shows " + window.View().Describe());
            return 1;
        }
        Say("message: " + Quoted(result->text));
        Shot(result->window, L"3_result");
        MainWindow::Answer(*result, L"OK");
        Say("answered: OK");
        window.WaitForView([](const MainView& v) { return v.reportButton.visible; }, view, 10s);
        Say("after: " + view.Describe());
        Shot(window.Handle(), L"4_after");

        if (view.reportButton.visible) {
            window.ClickReport();
            if (HWND report = window.WaitForReport()) {
                Shot(report, L"5_report");
                const std::wstring text = MainWindow::ReportText(report);
                const std::wstring file = FShots + L"report.txt";
                std::ofstream(WideToUtf8(file), std::ios::binary) << WideToUtf8(text);
                Say("report: " + std::to_string(std::count(text.begin(), text.end(), L'\n')) +
                    " lines, written to " + WideToUtf8(file));
                MainWindow::CloseReport(report);
            }
        }
        window.Close();
        const std::optional<DWORD> code = updater.WaitForExit(30s);
        Say("updater closed, exit code " + (code ? std::to_string(*code) : std::string("?")));
        return result->text == L"Firmware update complete." ? 0 : 1;
    }

private:
    bool Answer(const MainWindow& window, const std::wstring& button,
                std::chrono::milliseconds timeout) {
        const std::optional<updater::Message> box = window.WaitForMessage(timeout);
        if (!box) {
            Say("no message came; the window shows " + window.View().Describe());
            return false;
        }
        Say("message: " + Quoted(box->text));
        MainWindow::Answer(*box, button);
        Say("answered: " + WideToUtf8(button));
        return true;
    }

    void Shot(HWND window, const std::wstring& name) {
        if (FShots.empty()) {
            return;
        }
        const std::wstring path = FShots + name + L".png";
        if (updater::SaveScreenshot(window, path)) {
            Say("screenshot: " + WideToUtf8(path));
        }
    }

    std::wstring FFolder;
    std::wstring FShots;
};

std::wstring WithDelimiter(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }
    return folder;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    bool manual = false;
    std::wstring screenshots;
    std::wstring folder;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--manual") {
            manual = true;
        } else if (arg == L"--screenshots" && i + 1 < argc) {
            screenshots = WithDelimiter(argv[++i]);
            CreateDirectoryW(screenshots.c_str(), nullptr);
        } else if (folder.empty() && !arg.starts_with(L"--")) {
            folder = WithDelimiter(arg);
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: vg730_update_automation [--manual] [--screenshots FOLDER] "
                             "PROGRAM_FOLDER\n");
        return 2;
    }
    Session session(folder, screenshots);
    return manual ? session.Manual() : session.Automated();
}
