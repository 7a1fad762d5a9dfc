// Windows side (benchmark): how fast the runner captures a child that writes a lot, and how
// quickly the waiting window thread answers messages meanwhile. Prints figures; fails only when
// captured output was lost or changed.
//
//   runner_benchmark [MEGABYTES]   (default 50)
#include "ExeUnit.h"
#include "RunnerChild.h"
#include "WinHandles.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_STAMPED = WM_APP + 1;
constexpr size_t LineBytes = 82; // 80 characters and CR LF

double Seconds(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Latency of each stamped message: from its post to its handling.
std::vector<double> Latencies;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_STAMPED) {
        Latencies.push_back(Seconds(Now() - static_cast<LONGLONG>(lParam)) * 1000.0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The line the bulk child writes as line Number, without its line break.
std::wstring ExpectedLine(unsigned number) {
    wchar_t head[16];
    std::swprintf(head, 16, L"%010u ", number);
    std::wstring line(head);
    for (int i = 11; i < 80; ++i) {
        line += static_cast<wchar_t>(L'A' + (number + i) % 26);
    }
    return line;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    if (IsChildInvocation(argc, argv)) {
        return RunChildRole(argc, argv);
    }
    const unsigned megabytes = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 50;
    const size_t totalBytes = static_cast<size_t>(megabytes) << 20;
    const size_t expectedLines = (totalBytes + LineBytes - 1) / LineBytes;

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RunnerBenchmarkWindow";
    if (!RegisterClassExW(&wc)) {
        std::printf("cannot register the window class, error %lu\n", GetLastError());
        return 1;
    }
    UniqueHwnd window(CreateWindowExW(0, wc.lpszClassName, L"runner benchmark", WS_OVERLAPPEDWINDOW,
                                      0, 0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr));
    if (!window) {
        std::printf("cannot create the window, error %lu\n", GetLastError());
        return 1;
    }
    Latencies.reserve(100000);

    // Another thread stamps a message every 5 ms while the run goes on.
    std::atomic<bool> running{true};
    std::thread stamper([&] {
        while (running) {
            PostMessageW(window.get(), WM_STAMPED, 0, static_cast<LPARAM>(Now()));
            Sleep(5);
        }
    });

    TStrings lines;
    const LONGLONG start = Now();
    const bool captured =
        RunDOSCommand(ChildCommandLine(L"bulk " + std::to_wstring(megabytes)), L"", lines, true);
    const double seconds = Seconds(Now() - start);
    running = false;
    stamper.join();

    size_t wrong = 0;
    for (size_t i = 0; i < std::min(lines.Count(), expectedLines); ++i) {
        wrong += lines[i] != ExpectedLine(static_cast<unsigned>(i));
    }
    const size_t missing = expectedLines > lines.Count() ? expectedLines - lines.Count() : 0;
    const size_t extra = lines.Count() > expectedLines ? lines.Count() - expectedLines : 0;
    const double capturedMB = static_cast<double>(lines.Count() * LineBytes) / 1e6;

    std::printf("capture: %zu lines, %.1f MB in %.3f s = %.1f MB/s (whole run: start, read, "
                "conversion, lines)\n",
                lines.Count(), capturedMB, seconds, capturedMB / seconds);
    std::printf("lost or changed: %zu wrong, %zu missing, %zu extra lines\n", wrong, missing,
                extra);
    std::printf("window messages during the run: %zu handled, latency median %.2f ms, "
                "99th percentile %.2f ms, max %.2f ms\n",
                Latencies.size(), Percentile(Latencies, 0.5), Percentile(Latencies, 0.99),
                Latencies.empty() ? 0.0 : *std::max_element(Latencies.begin(), Latencies.end()));
    std::printf("goals: over 50 MB/s with nothing lost; messages within 20 ms\n");
    return captured && wrong == 0 && missing == 0 && extra == 0 ? 0 : 1;
}
