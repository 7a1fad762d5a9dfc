// Windows side (tests): a window of the test keeps answering while a background run is in
// progress, and a run started from one of its handlers is refused.
#include "ExeUnit.h"
#include "RunnerChild.h"
#include "WinHandles.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr UINT_PTR TickTimer = 1;
constexpr UINT WM_TRY_SECOND_RUN = WM_APP + 1;
constexpr UINT WM_FROM_ANOTHER_THREAD = WM_APP + 2;

const TRunLimits Unreached{30s, 60s, 1s};

// A plain hidden window whose messages go to Handler.
class TestWindow {
public:
    TestWindow() {
        static const wchar_t className[] = L"RunnerTestWindow";
        static const bool registered = [] {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = &TestWindow::WindowProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = className;
            return RegisterClassExW(&wc) != 0;
        }();
        EXPECT_TRUE(registered);
        FHandle.reset(CreateWindowExW(0, className, L"runner test", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                      100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
        EXPECT_TRUE(FHandle.valid()) << "cannot create the test window, error " << GetLastError();
        SetWindowLongPtrW(FHandle.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TestWindow() { SetWindowLongPtrW(FHandle.get(), GWLP_USERDATA, 0); }
    HWND Handle() const { return FHandle.get(); }

    std::function<void(UINT, WPARAM)> Handler;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && self->Handler && (msg == WM_TIMER || msg >= WM_APP)) {
            self->Handler(msg, wParam);
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    UniqueHwnd FHandle;
};

std::wstring TwoLinesApart(DWORD pauseMs) {
    return ChildCommandLine(L"write " + std::to_wstring(pauseMs) + L" " + Hex("one\r\n") + L" " +
                            Hex("two\r\n"));
}

TEST(WindowDuringARun, KeepsAnsweringAndRefusesASecondRun) {
    TestWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    int ticksDuringRun = 0;
    bool postedDuringRun = false;
    bool fromAnotherThreadDuringRun = false;
    std::wstring refusal;
    window.Handler = [&](UINT msg, WPARAM wParam) {
        if (msg == WM_TIMER && wParam == TickTimer && BackgroundJobRunning()) {
            if (++ticksDuringRun == 1) {
                PostMessageW(window.Handle(), WM_TRY_SECOND_RUN, 0, 0);
            }
        } else if (msg == WM_TRY_SECOND_RUN) {
            postedDuringRun = BackgroundJobRunning();
            TStrings other;
            try {
                RunDOSCommand(ChildCommandLine(L"write 0 " + Hex("x")), L"", other, true,
                              Unreached);
                refusal = L"(accepted)";
            } catch (const EThreadInUse& error) {
                refusal = error.Message();
            }
        } else if (msg == WM_FROM_ANOTHER_THREAD) {
            fromAnotherThreadDuringRun = BackgroundJobRunning();
        }
    };
    ASSERT_NE(SetTimer(window.Handle(), TickTimer, 20, nullptr), 0u);
    std::thread poster([&] {
        Sleep(400);
        PostMessageW(window.Handle(), WM_FROM_ANOTHER_THREAD, 0, 0);
    });

    TStrings lines;
    const bool result = RunDOSCommand(TwoLinesApart(1500), L"", lines, true, Unreached);
    poster.join();
    KillTimer(window.Handle(), TickTimer);

    EXPECT_TRUE(result);
    EXPECT_EQ(lines.Lines(), (std::vector<std::wstring>{L"one", L"two"}));
    EXPECT_GE(ticksDuringRun, 5) << "a 20 ms timer during a run of over 1.5 s";
    EXPECT_TRUE(postedDuringRun);
    EXPECT_TRUE(fromAnotherThreadDuringRun);
    EXPECT_EQ(refusal, L"Thread in use");
    EXPECT_FALSE(BackgroundJobRunning());

    TStrings next;
    EXPECT_TRUE(
        RunDOSCommand(ChildCommandLine(L"write 0 " + Hex("next")), L"", next, true, Unreached))
        << "the run after the first one is accepted";
    EXPECT_EQ(next.Lines(), std::vector<std::wstring>{L"next"});
}

TEST(WindowDuringARun, QuitDuringTheRunReachesTheMessageLoop) {
    TestWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    bool quitPosted = false;
    window.Handler = [&](UINT msg, WPARAM) {
        if (msg == WM_TIMER && BackgroundJobRunning() && !quitPosted) {
            quitPosted = true;
            PostQuitMessage(5);
        }
    };
    ASSERT_NE(SetTimer(window.Handle(), TickTimer, 20, nullptr), 0u);
    TStrings lines;
    EXPECT_TRUE(RunDOSCommand(TwoLinesApart(500), L"", lines, true, Unreached));
    KillTimer(window.Handle(), TickTimer);
    EXPECT_EQ(lines.Lines(), (std::vector<std::wstring>{L"one", L"two"}));
    ASSERT_TRUE(quitPosted);
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}

} // namespace
