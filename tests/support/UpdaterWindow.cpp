// Windows side, tests only: driving the updater's windows (see UpdaterWindow.h).
#include "UpdaterWindow.h"

#include "PngWriter.h"
#include "UniversalTypesUnit.h"

#include <algorithm>
#include <thread>

namespace updater {

namespace {

constexpr UINT MessageTimeoutMs = 5000;

std::string StateText(const ControlState& state) {
    return "\"" + WideToUtf8(state.text) + "\"" + (state.visible ? "" : " hidden") +
           (state.enabled ? "" : " disabled");
}

ControlState StateOf(HWND control) {
    if (!control) {
        return {};
    }
    return {probe::TextOf(control), IsWindowVisible(control) != FALSE,
            IsWindowEnabled(control) != FALSE};
}

} // namespace

std::string MainView::Describe() const {
    return "status \"" + WideToUtf8(status) + "\", action \"" + WideToUtf8(action) + "\"" +
           (actionVisible ? "" : " hidden") + ", update " + StateText(updateButton) + ", report " +
           StateText(reportButton) + (progressVisible ? ", progress shown" : ", progress hidden");
}

std::wstring Message::Buttons() const {
    std::wstring captions;
    for (HWND child : probe::ChildWindowsOf(window)) {
        if (probe::ClassOf(child) == L"Button" && IsWindowVisible(child)) {
            captions += (captions.empty() ? L"" : L"|") + probe::TextOf(child);
        }
    }
    captions.erase(std::remove(captions.begin(), captions.end(), L'&'), captions.end());
    return captions;
}

MainWindow::MainWindow(DWORD processId, std::chrono::milliseconds timeout)
    : FProcessId(processId), FMain(probe::WaitForVisibleWindow(processId, MainCaption, timeout)) {}

HWND MainWindow::Child(const std::wstring& className, int index) const {
    // Controls of one kind, top to bottom.
    std::vector<HWND> found;
    for (HWND child : probe::ChildWindowsOf(FMain)) {
        if (GetParent(child) == FMain && probe::ClassOf(child) == className) {
            found.push_back(child);
        }
    }
    std::sort(found.begin(), found.end(), [](HWND a, HWND b) {
        return probe::ScreenRectOf(a).top < probe::ScreenRectOf(b).top;
    });
    return index < static_cast<int>(found.size()) ? found[static_cast<size_t>(index)] : nullptr;
}

HWND MainWindow::Button(const std::wstring& captionPrefix) const {
    for (HWND child : probe::ChildWindowsOf(FMain)) {
        if (probe::ClassOf(child) == L"Button" && probe::TextOf(child).starts_with(captionPrefix)) {
            return child;
        }
    }
    return nullptr;
}

MainView MainWindow::View() const {
    MainView view;
    HWND status = Child(L"Static", 0);
    HWND action = Child(L"Static", 1);
    view.status = status ? probe::TextOf(status) : L"";
    view.action = action ? probe::TextOf(action) : L"";
    view.actionVisible = action && IsWindowVisible(action);
    view.updateButton = StateOf(Button(L"Update VG730 firmware to "));
    view.reportButton = StateOf(Button(L"Report"));
    HWND progress = Child(L"msctls_progress32", 0);
    view.progressVisible = progress && IsWindowVisible(progress);
    return view;
}

bool MainWindow::WaitForView(const std::function<bool(const MainView&)>& test, MainView& seen,
                             std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        seen = View();
        if (test(seen)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
}

bool MainWindow::WaitForLines(const std::wstring& status, const std::wstring& action,
                              MainView& seen, std::chrono::milliseconds timeout) const {
    return WaitForView([&](const MainView& v) { return v.status == status && v.action == action; },
                       seen, timeout);
}

void MainWindow::ClickUpdate() const {
    PostMessageW(Button(L"Update VG730 firmware to "), BM_CLICK, 0, 0);
}

void MainWindow::ClickReport() const {
    PostMessageW(Button(L"Report"), BM_CLICK, 0, 0);
}

void MainWindow::PressEnter() const {
    PostMessageW(FMain, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(FMain, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

void MainWindow::Close() const {
    PostMessageW(FMain, WM_CLOSE, 0, 0);
}

std::optional<Message> MainWindow::WaitForMessage(std::chrono::milliseconds timeout) const {
    HWND box = probe::WaitForMessageBox(FProcessId, timeout);
    if (!box) {
        return std::nullopt;
    }
    // The box is visible before its text control is filled in: wait for the text.
    std::wstring text;
    for (int i = 0; i < 100 && (text = probe::MessageBoxText(box)).empty(); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    return Message{box, text};
}

bool MainWindow::Answer(const Message& box, const std::wstring& button) {
    return probe::ClickButton(box.window, button);
}

HWND MainWindow::WaitForReport(std::chrono::milliseconds timeout) const {
    return probe::WaitForVisibleWindow(FProcessId, ReportCaption, timeout);
}

std::wstring MainWindow::ReportText(HWND report) {
    for (HWND child : probe::ChildWindowsOf(report)) {
        if (probe::ClassOf(child) == L"Edit") {
            return probe::TextOf(child);
        }
    }
    return {};
}

bool MainWindow::CloseReport(HWND report) {
    return probe::ClickButton(report, L"Close");
}

std::optional<LRESULT> MainWindow::QueryEndSession() const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(FMain, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                             MessageTimeoutMs, &result)) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

std::vector<std::uint8_t> CapturePixels(HWND window, const RECT& part) {
    RECT rect = probe::ScreenRectOf(window);
    const int left = rect.left + part.left;
    const int top = rect.top + part.top;
    const int width = part.right - part.left;
    const int height = part.bottom - part.top;
    std::vector<std::uint8_t> rgb;
    if (width <= 0 || height <= 0) {
        return rgb;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> bgra(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    const int rows =
        GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height) {
        return rgb;
    }
    rgb.reserve(bgra.size() / 4 * 3);
    for (size_t i = 0; i < bgra.size(); i += 4) {
        rgb.push_back(bgra[i + 2]);
        rgb.push_back(bgra[i + 1]);
        rgb.push_back(bgra[i]);
    }
    return rgb;
}

bool SaveScreenshot(HWND window, const std::wstring& path) {
    const RECT rect = probe::ScreenRectOf(window);
    const RECT whole = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
    const std::vector<std::uint8_t> rgb = CapturePixels(window, whole);
    return !rgb.empty() && png::WriteFile(WideToUtf8(path), whole.right, whole.bottom, rgb);
}

} // namespace updater
