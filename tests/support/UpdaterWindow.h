// Windows side, tests only: the updater's windows as a person meets them. Reads the labels and
// buttons of the real main window, clicks, presses Enter, answers message boxes, opens and reads
// the report and takes screenshots; every wait has a time limit.
#pragma once

#include "WindowProbe.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace updater {

using namespace std::chrono_literals;

inline constexpr wchar_t MainCaption[] = L"VG730 Firmware Update";
inline constexpr wchar_t ReportCaption[] = L"VG730 Firmware Update Result";

struct ControlState {
    std::wstring text;
    bool visible = false;
    bool enabled = false;
    bool operator==(const ControlState&) const = default;
};

// What the main window shows at one moment.
struct MainView {
    std::wstring status; // first line
    std::wstring action; // second line
    bool actionVisible = false;
    ControlState updateButton;
    ControlState reportButton;
    bool progressVisible = false;
    std::string Describe() const;
};

// A message box of the updater: its text, and which icon it shows.
struct Message {
    HWND window = nullptr;
    std::wstring text;
    std::wstring Buttons() const; // captions of its buttons, joined by "|"
};

class MainWindow {
public:
    // The visible main window of the process, or a window that is not Found().
    MainWindow(DWORD processId, std::chrono::milliseconds timeout = 20s);

    bool Found() const { return FMain != nullptr; }
    HWND Handle() const { return FMain; }
    DWORD ProcessId() const { return FProcessId; }

    MainView View() const;
    // Polls the view until it satisfies the test; the last view seen either way.
    bool WaitForView(const std::function<bool(const MainView&)>& test, MainView& seen,
                     std::chrono::milliseconds timeout = 10s) const;
    // Until the two lines read these texts.
    bool WaitForLines(const std::wstring& status, const std::wstring& action, MainView& seen,
                      std::chrono::milliseconds timeout = 10s) const;

    void ClickUpdate() const;
    void ClickReport() const;
    // Enter, as a key press that goes through the window's message queue.
    void PressEnter() const;
    void Close() const;

    // The next visible message box of the process.
    std::optional<Message> WaitForMessage(std::chrono::milliseconds timeout = 20s) const;
    // Presses a button of the box by caption; false when it has none such.
    static bool Answer(const Message& box, const std::wstring& button);

    // The report window once it is visible; its text; closing it with its button.
    HWND WaitForReport(std::chrono::milliseconds timeout = 10s) const;
    static std::wstring ReportText(HWND report);
    static bool CloseReport(HWND report);

    // The window's answer to a log-off request (sent, not posted); nullopt when it gave none.
    std::optional<LRESULT> QueryEndSession() const;

private:
    HWND Child(const std::wstring& className, int index) const;
    HWND Button(const std::wstring& captionPrefix) const;

    DWORD FProcessId = 0;
    HWND FMain = nullptr;
};

// The window as the screen shows it, written as a PNG file; false when it could not be.
bool SaveScreenshot(HWND window, const std::wstring& path);
// The screen pixels of a part of a window (red, green, blue a pixel), for comparing.
std::vector<std::uint8_t> CapturePixels(HWND window, const RECT& part);

} // namespace updater
