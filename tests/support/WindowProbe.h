// Windows side, tests only: finding and reading the windows of another process, the way a
// person sees them, and pressing their buttons.
#pragma once

#include "WinApi.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace probe {

using namespace std::chrono_literals;

std::vector<HWND> TopLevelWindowsOf(DWORD processId);
std::vector<HWND> ChildWindowsOf(HWND parent);
std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);
bool IsMessageBox(HWND window);
// The message of a message box: the text of its Static control that is not the icon.
std::wstring MessageBoxText(HWND box);
// Presses the child button with this caption (mnemonic ampersands ignored); false if none.
bool ClickButton(HWND parent, const std::wstring& caption);

// Polls until a top-level window of the process satisfies the test, for at most the timeout;
// nullptr when none did.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test,
                   std::chrono::milliseconds timeout = 20s);
// A visible message box of the process.
HWND WaitForMessageBox(DWORD processId, std::chrono::milliseconds timeout = 20s);
// A visible top-level window of the process with exactly this caption.
HWND WaitForVisibleWindow(DWORD processId, const std::wstring& caption,
                          std::chrono::milliseconds timeout = 20s);

// Visible top-level windows of the process, message boxes included.
std::vector<HWND> VisibleWindowsOf(DWORD processId);

// One line per top-level window of the process (class, caption, visibility), for failure messages.
std::string Describe(DWORD processId);

RECT ClientRectOf(HWND window);
RECT ScreenRectOf(HWND window);

} // namespace probe
