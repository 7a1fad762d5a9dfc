// Windows side, tests only: reading and driving another process's windows.
#include "WindowProbe.h"

#include "UniversalTypesUnit.h"

#include <thread>

namespace probe {

namespace {

// A window of a hung program must not hang the test: every message has a time limit.
constexpr UINT MessageTimeoutMs = 5000;

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->first) {
        found->second.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::wstring WithoutMnemonics(const std::wstring& caption) {
    std::wstring plain;
    for (wchar_t c : caption) {
        if (c != L'&') {
            plain += c;
        }
    }
    return plain;
}

} // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    std::pair<DWORD, std::vector<HWND>> found{processId, {}};
    EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

std::vector<HWND> ChildWindowsOf(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs,
                             &length)) {
        return {};
    }
    // The text may change between the two messages: a buffer it fills up is read again, larger.
    for (size_t size = static_cast<size_t>(length) + 1;; size *= 2) {
        std::wstring text(size, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(),
                                 reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                                 MessageTimeoutMs, &copied)) {
            return {};
        }
        if (copied + 1 < size || size > (1u << 24)) {
            text.resize(static_cast<size_t>(copied));
            return text;
        }
    }
}

bool IsMessageBox(HWND window) {
    return ClassOf(window) == L"#32770";
}

std::wstring MessageBoxText(HWND box) {
    std::wstring message;
    for (HWND child : ChildWindowsOf(box)) {
        if (ClassOf(child) == L"Static") {
            const std::wstring text = TextOf(child);
            if (!text.empty()) {
                message = text;
            }
        }
    }
    return message;
}

bool ClickButton(HWND parent, const std::wstring& caption) {
    for (HWND child : ChildWindowsOf(parent)) {
        if (ClassOf(child) == L"Button" && WithoutMnemonics(TextOf(child)) == caption) {
            PostMessageW(child, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test,
                   std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        for (HWND window : TopLevelWindowsOf(processId)) {
            if (test(window)) {
                return window;
            }
        }
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

HWND WaitForMessageBox(DWORD processId, std::chrono::milliseconds timeout) {
    return WaitForWindow(
        processId, [](HWND w) { return IsWindowVisible(w) && IsMessageBox(w); }, timeout);
}

HWND WaitForVisibleWindow(DWORD processId, const std::wstring& caption,
                          std::chrono::milliseconds timeout) {
    return WaitForWindow(
        processId, [&](HWND w) { return IsWindowVisible(w) && TextOf(w) == caption; }, timeout);
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    std::vector<HWND> visible;
    for (HWND window : TopLevelWindowsOf(processId)) {
        if (IsWindowVisible(window)) {
            visible.push_back(window);
        }
    }
    return visible;
}

std::string Describe(DWORD processId) {
    std::string text;
    for (HWND window : TopLevelWindowsOf(processId)) {
        text += WideToUtf8(ClassOf(window)) + " \"" + WideToUtf8(TextOf(window)) + "\"" +
                (IsWindowVisible(window) ? " visible" : " hidden") + "\n";
    }
    return text.empty() ? "no windows\n" : text;
}

RECT ClientRectOf(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return r;
}

RECT ScreenRectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

} // namespace probe
