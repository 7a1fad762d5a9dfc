// Benchmark (prints figures, asserts nothing): one gateway refresh as the main window does it,
// against the emulated gateway - create the gateway back-end, count the channels, read every
// name and firmware text, destroy it - with 1 and with 8 gateways, all refreshes in this one
// process as the updater runs them, once a second for as long as it is open. Prints the wall
// time of a refresh and what the process holds before, during and after the runs. Goal: under
// 10 ms a refresh and no growth of handles or memory.
//
//   cmake --build --preset win64 --target can_refresh_benchmark_run
//   scripts/wine-env build/win64/wine run build/win64/bin/can_refresh_benchmark.exe [refreshes]
//
// It sets the emulator up itself (vg730emu install when needed, reset, add) and resets it at
// the end.
#include "EmulatorTool.h"
#include "ProcessResources.h"
#include "VarnikCanClassUnit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// What the process holds. Under Wine the process's own handle and memory counters read 0, so
// handles are counted in the system handle table and committed memory is summed over the
// address space (outside loaded images); the channel's hidden windows are counted among the
// message-only windows of this thread.
struct Held {
    ProcessResources Process;
    int64_t Windows = 0;
};

Held Measure() {
    Held held;
    held.Process = ProcessResources::Now();
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        held.Windows += GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
    }
    return held;
}

void PrintHeld(const char* when, const Held& held, const Held& start) {
    const ProcessResources growth = held.Process - start.Process;
    std::printf("    %-16s handles %lld (%+lld), committed %lld KiB (%+lld KiB), lowest free TLS "
                "slot %lld (%+lld), message-only windows %lld (%+lld)\n",
                when, static_cast<long long>(held.Process.handles),
                static_cast<long long>(growth.handles),
                static_cast<long long>(held.Process.committedKiB),
                static_cast<long long>(growth.committedKiB),
                static_cast<long long>(held.Process.freeTlsSlot),
                static_cast<long long>(growth.freeTlsSlot), static_cast<long long>(held.Windows),
                static_cast<long long>(held.Windows - start.Windows));
}

LONGLONG Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Ms(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

// The times of one refresh: the whole, and its three steps.
struct Timing {
    double Total = 0;
    double Create = 0;  // library load and initialisation, channel, window
    double Query = 0;   // count, names and firmware
    double Destroy = 0; // channel, window, library release
};

// One refresh; Seen counts the channels it read a gateway name and a firmware text of.
Timing Refresh(size_t& Seen) {
    Timing t;
    const LONGLONG start = Ticks();
    std::unique_ptr<TVnCanApi> api = TVg730CanApiCreator::CreateCanApiInternal();
    const LONGLONG created = Ticks();
    const uint32_t count = api->ChannelCount();
    Seen = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const std::wstring name = api->ChannelNames(static_cast<int32_t>(i));
        const std::wstring firmware = api->GetChannelFirmware(static_cast<int32_t>(i));
        Seen += name.rfind(L"VG730 #", 0) == 0 && !firmware.empty();
    }
    const LONGLONG queried = Ticks();
    api.reset();
    const LONGLONG end = Ticks();
    t.Total = Ms(end - start);
    t.Create = Ms(created - start);
    t.Query = Ms(queried - created);
    t.Destroy = Ms(end - queried);
    return t;
}

// The library's own share: the calls a refresh cannot do without - load, initialise, count, the
// items 13, 11 and 9 of every channel, unload, release - made straight on the entry table,
// without channel, window or text.
double LibraryCycle() {
    const LONGLONG start = Ticks();
    SetCanDllName(FindGatewayDll());
    LoadCanDll();
    if (const TCanEntries* lib = UsableCanEntries()) {
        int32_t count = 0;
        lib->canGetNumberOfChannels(&count);
        static std::vector<char> buffer(CanLib::ChannelNameBufferSize + 1);
        for (int32_t i = 0; i < count; ++i) {
            lib->canGetChannelData(i, CanLib::ItemChannelName, buffer.data(),
                                   CanLib::ChannelNameBufferSize);
            lib->canGetChannelData(i, CanLib::ItemEan, buffer.data(),
                                   CanLib::ChannelNameBufferSize);
            lib->canGetChannelData(i, CanLib::ItemFirmware, buffer.data(), 8);
        }
    }
    UnloadCanDll();
    return Ms(Ticks() - start);
}

struct Summary {
    double Mean, Median, P95, Max, Min;
};

Summary Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) {
        sum += v;
    }
    const auto at = [&](double q) {
        return values[std::min(values.size() - 1, static_cast<size_t>(q * values.size()))];
    };
    return {sum / static_cast<double>(values.size()), at(0.5), at(0.95), values.back(),
            values.front()};
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

// What is made once at first use (folders, the window class, the loader's own tables) is no
// growth: a few cycles run before the first measurement.
constexpr int WarmUp = 20;
// Where the holdings are shown on the way.
constexpr int Checkpoints = 4;

bool MeasureRefreshes(int gateways, int runs) {
    size_t seen = 0;
    for (int i = 0; i < WarmUp; ++i) {
        Refresh(seen);
        if (seen != static_cast<size_t>(gateways)) {
            std::printf("%d gateways: the refresh recognised %zu\n", gateways, seen);
            return false;
        }
    }
    std::printf("gateway refresh, %d channel%s, %d refreshes in this process:\n", gateways,
                gateways == 1 ? "" : "s", runs);
    const Held start = Measure();
    PrintHeld("before", start, start);
    std::vector<double> total, create, query, destroy;
    size_t missed = 0;
    for (int i = 1; i <= runs; ++i) {
        const Timing t = Refresh(seen);
        missed += seen != static_cast<size_t>(gateways);
        total.push_back(t.Total);
        create.push_back(t.Create);
        query.push_back(t.Query);
        destroy.push_back(t.Destroy);
        if (i % std::max(1, runs / Checkpoints) == 0 || i == runs) {
            PrintHeld(("after " + std::to_string(i)).c_str(), Measure(), start);
        }
    }
    const Summary s = Summarise(total);
    std::printf("    wall time: median %.3f ms, p95 %.3f ms, mean %.3f ms, max %.3f ms, min "
                "%.3f ms\n",
                s.Median, s.P95, s.Mean, s.Max, s.Min);
    std::printf("    median of the steps: create %.3f ms, count/names/firmware %.3f ms, destroy "
                "%.3f ms\n",
                Summarise(create).Median, Summarise(query).Median, Summarise(destroy).Median);
    if (missed != 0) {
        std::printf("    %zu refreshes did not recognise every gateway\n", missed);
    }
    return missed == 0;
}

void MeasureLibrary(int runs) {
    for (int i = 0; i < WarmUp; ++i) {
        LibraryCycle();
    }
    const Held start = Measure();
    std::vector<double> cycles;
    for (int i = 0; i < runs; ++i) {
        cycles.push_back(LibraryCycle());
    }
    const Summary s = Summarise(cycles);
    std::printf("  the library alone (load, initialise, count, items 13/11/9, unload, release), "
                "%d cycles: median %.3f ms, p95 %.3f ms\n",
                runs, s.Median, s.P95);
    PrintHeld("after them", Measure(), start);
}

bool Run(int gateways, int runs) {
    // A Wine session whose emulator driver is not running yet gets it installed first.
    if (emulator_tool::Run(L"reset").ExitCode != 0 && !(Tool(L"install") && Tool(L"reset"))) {
        return false;
    }
    for (int n = 0; n < gateways; ++n) {
        if (!Tool(L"add " + std::to_wstring(n))) {
            return false;
        }
    }
    try {
        const bool refreshed = MeasureRefreshes(gateways, runs);
        MeasureLibrary(runs);
        return refreshed;
    } catch (const std::exception& e) {
        std::printf("the measurement failed: %s\n", e.what());
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::printf("goal: under 10 ms a refresh, no growth of handles or memory over the refreshes\n");
    bool ok = true;
    for (int gateways : {1, 8}) {
        ok = Run(gateways, runs) && ok;
    }
    Tool(L"reset");
    return ok ? 0 : 1;
}
