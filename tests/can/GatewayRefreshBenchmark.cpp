// Benchmark (prints figures, asserts nothing): one gateway refresh as the main window does it,
// against the emulated gateway - create the gateway back-end, count the channels, read every
// name and firmware text, destroy it - with 1 and with 8 gateways, and whether handles, window
// objects or memory grow over the runs. Goal: under 10 ms a refresh and no growth.
//
//   scripts/wine-env build/win64/wine run build/win64/bin/can_refresh_benchmark.exe [runs]
//
// It sets the emulator up itself (vg730emu reset, add) and resets it at the end.
#include "EmulatorTool.h"
#include "VarnikCanClassUnit.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Resources {
    DWORD Handles = 0;
    DWORD UserObjects = 0;
    DWORD GdiObjects = 0;
    SIZE_T PrivateBytes = 0;
};

Resources Measure() {
    Resources r;
    GetProcessHandleCount(GetCurrentProcess(), &r.Handles);
    r.UserObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    r.GdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        r.PrivateBytes = memory.PrivateUsage;
    }
    return r;
}

// One refresh; gives the number of channels it saw.
size_t Refresh() {
    std::unique_ptr<TVnCanApi> api = TVg730CanApiCreator::CreateCanApiInternal();
    const uint32_t count = api->ChannelCount();
    size_t seen = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const std::wstring name = api->ChannelNames(static_cast<int32_t>(i));
        const std::wstring firmware = api->GetChannelFirmware(static_cast<int32_t>(i));
        seen += !name.empty() && !firmware.empty();
    }
    return seen;
}

bool Tool(const std::wstring& arguments) {
    const emulator_tool::Result r = emulator_tool::Run(arguments);
    if (r.ExitCode != 0) {
        std::printf("vg730emu %s failed: %s %s\n", WideToUtf8(arguments).c_str(), r.Failure.c_str(),
                    r.Output.c_str());
        return false;
    }
    return true;
}

double Ms(LONGLONG ticks, LONGLONG frequency) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

bool Run(int gateways, int runs) {
    if (!Tool(L"reset")) {
        return false;
    }
    for (int n = 0; n < gateways; ++n) {
        if (!Tool(L"add " + std::to_wstring(n))) {
            return false;
        }
    }
    // Warm up: first-use caches (system folder, window class) are not growth.
    for (int i = 0; i < 20; ++i) {
        if (Refresh() != static_cast<size_t>(gateways)) {
            std::printf("%d gateways: the refresh saw %zu\n", gateways, Refresh());
            return false;
        }
    }
    const Resources before = Measure();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    times.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        Refresh();
        QueryPerformanceCounter(&end);
        times.push_back(Ms(end.QuadPart - start.QuadPart, frequency.QuadPart));
    }
    const Resources after = Measure();
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times) {
        sum += t;
    }
    const auto at = [&](double q) {
        return times[std::min(times.size() - 1, static_cast<size_t>(q * times.size()))];
    };
    std::printf("gateway refresh, %d channel%s, %d runs: mean %.3f ms, median %.3f ms, "
                "p95 %.3f ms, max %.3f ms, min %.3f ms\n",
                gateways, gateways == 1 ? "" : "s", runs, sum / runs, at(0.5), at(0.95),
                times.back(), times.front());
    std::printf("  handles %lu -> %lu (%+ld), user objects %lu -> %lu (%+ld), gdi objects %lu -> "
                "%lu (%+ld), private bytes %zu KiB -> %zu KiB (%+ld KiB)\n",
                before.Handles, after.Handles,
                static_cast<long>(after.Handles) - static_cast<long>(before.Handles),
                before.UserObjects, after.UserObjects,
                static_cast<long>(after.UserObjects) - static_cast<long>(before.UserObjects),
                before.GdiObjects, after.GdiObjects,
                static_cast<long>(after.GdiObjects) - static_cast<long>(before.GdiObjects),
                before.PrivateBytes / 1024, after.PrivateBytes / 1024,
                (static_cast<long>(after.PrivateBytes) - static_cast<long>(before.PrivateBytes)) /
                    1024);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::printf("goal: under 10 ms a refresh, no growth of handles or memory over the runs\n");
    bool ok = true;
    for (int gateways : {1, 8}) {
        ok = Run(gateways, runs) && ok;
    }
    Tool(L"reset");
    return ok ? 0 : 1;
}
