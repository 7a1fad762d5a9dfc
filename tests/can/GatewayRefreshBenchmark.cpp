// Benchmark (prints figures, asserts nothing): one gateway refresh as the main window does it,
// against the emulated gateway - create the gateway back-end, count the channels, read every
// name and firmware text, destroy it - with 1 and with 8 gateways, and whether handles, window
// objects or memory grow over the runs. Goal: under 10 ms a refresh and no growth.
//
//   scripts/wine-env build/win64/wine run build/win64/bin/can_refresh_benchmark.exe [runs]
//
// It sets the emulator up itself (vg730emu reset, add) and resets it at the end. Each
// measurement runs in a fresh process of this program.
#include "EmulatorTool.h"
#include "VarnikCanClassUnit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// What the process holds. Wine keeps no handle or window-object counts for a process, so these
// are read in ways it supports: the value a new handle gets (the handle table's lowest free slot
// grows while handles leak), the message-only windows of this thread, and the committed memory
// of the address space (heap, stacks and mapped libraries).
struct Resources {
    uintptr_t NextHandle = 0;
    size_t Windows = 0;
    size_t CommittedKiB = 0;
    size_t ImageKiB = 0;
};

Resources Measure() {
    Resources r;
    if (HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        r.NextHandle = reinterpret_cast<uintptr_t>(probe);
        CloseHandle(probe);
    }
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        r.Windows += GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId();
    }
    MEMORY_BASIC_INFORMATION region = {};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT) {
            r.CommittedKiB += region.RegionSize / 1024;
            if (region.Type == MEM_IMAGE) {
                r.ImageKiB += region.RegionSize / 1024;
            }
        }
    }
    return r;
}

double Ms(LONGLONG ticks, LONGLONG frequency) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

LONGLONG Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// The times of one refresh: the whole, and its three steps.
struct Timing {
    double Total = 0;
    double Create = 0;  // library load and initialisation, channel, window
    double Query = 0;   // count, names and firmware
    double Destroy = 0; // channel, window, library release
};

// One refresh; Seen counts the channels it read a name and a firmware text of.
Timing Refresh(size_t& Seen) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    Timing t;
    const LONGLONG start = Ticks();
    std::unique_ptr<TVnCanApi> api = TVg730CanApiCreator::CreateCanApiInternal();
    const LONGLONG created = Ticks();
    const uint32_t count = api->ChannelCount();
    Seen = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const std::wstring name = api->ChannelNames(static_cast<int32_t>(i));
        const std::wstring firmware = api->GetChannelFirmware(static_cast<int32_t>(i));
        Seen += !name.empty() && !firmware.empty();
    }
    const LONGLONG queried = Ticks();
    api.reset();
    const LONGLONG end = Ticks();
    t.Total = Ms(end - start, frequency);
    t.Create = Ms(created - start, frequency);
    t.Query = Ms(queried - created, frequency);
    t.Destroy = Ms(end - queried, frequency);
    return t;
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
    return {sum / values.size(), at(0.5), at(0.95), values.back(), values.front()};
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

// The library's own share: the calls a refresh cannot do without - load, initialise, count, the
// items 13, 11 and 9 of every channel, unload, release - made straight on the entry table,
// without channel, window or text. What this costs and what grows here is the library's.
double LibraryCycle() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    const LONGLONG start = Ticks();
    SetCanDllName(FindGatewayDll());
    LoadCanDll();
    int32_t count = 0;
    if (const TCanEntries* lib = UsableCanEntries()) {
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
    return Ms(Ticks() - start, frequency);
}

void PrintGrowth(const Resources& before, const Resources& after) {
    std::printf(
        "  next handle value 0x%llx -> 0x%llx (%+lld handles), message-only windows %zu -> "
        "%zu, committed %zu KiB -> %zu KiB (%+lld KiB), of it images %zu KiB -> %zu KiB\n",
        static_cast<unsigned long long>(before.NextHandle),
        static_cast<unsigned long long>(after.NextHandle),
        (static_cast<long long>(after.NextHandle) - static_cast<long long>(before.NextHandle)) / 4,
        before.Windows, after.Windows, before.CommittedKiB, after.CommittedKiB,
        static_cast<long long>(after.CommittedKiB) - static_cast<long long>(before.CommittedKiB),
        before.ImageKiB, after.ImageKiB);
}

// One measurement in its own process: the emulated library cannot be loaded and initialised
// much more than a thousand times in one process, so each kind of run gets a fresh one.
bool MeasureRefreshes(int gateways, int runs) {
    try {
        // Warm up: what is made once at first use (folders, the window class) is no growth.
        size_t seen = 0;
        for (int i = 0; i < 20; ++i) {
            Refresh(seen);
            if (seen != static_cast<size_t>(gateways)) {
                std::printf("%d gateways: the refresh read %zu\n", gateways, seen);
                return false;
            }
        }
        const Resources before = Measure();
        std::vector<double> total, create, query, destroy;
        for (int i = 0; i < runs; ++i) {
            const Timing t = Refresh(seen);
            total.push_back(t.Total);
            create.push_back(t.Create);
            query.push_back(t.Query);
            destroy.push_back(t.Destroy);
        }
        const Resources after = Measure();
        const Summary s = Summarise(total);
        std::printf("gateway refresh, %d channel%s, %d runs: mean %.3f ms, median %.3f ms, "
                    "p95 %.3f ms, max %.3f ms, min %.3f ms\n",
                    gateways, gateways == 1 ? "" : "s", runs, s.Mean, s.Median, s.P95, s.Max,
                    s.Min);
        std::printf("  median of the steps: create %.3f ms, count/names/firmware %.3f ms, "
                    "destroy %.3f ms\n",
                    Summarise(create).Median, Summarise(query).Median, Summarise(destroy).Median);
        PrintGrowth(before, after);
    } catch (const std::exception& e) {
        std::printf("refresh failed: %s\n", e.what());
        return false;
    }
    return true;
}

bool MeasureLibrary(int runs) {
    try {
        for (int i = 0; i < 20; ++i) {
            LibraryCycle();
        }
        const Resources before = Measure();
        std::vector<double> cycles;
        for (int i = 0; i < runs; ++i) {
            cycles.push_back(LibraryCycle());
        }
        const Resources after = Measure();
        std::printf("  the library alone (load, initialise, count, items 13/11/9, unload), %d "
                    "runs: median %.3f ms\n",
                    runs, Summarise(cycles).Median);
        PrintGrowth(before, after);
    } catch (const std::exception& e) {
        std::printf("library cycle failed: %s\n", e.what());
        return false;
    }
    return true;
}

// Runs this program again for one measurement; its lines go to the same output.
bool InChild(const std::wstring& arguments) {
    std::fflush(stdout);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("cannot start the measurement (error %lu)\n", GetLastError());
        return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    constexpr DWORD Limit = 10 * 60 * 1000;
    if (WaitForSingleObject(processHandle.get(), Limit) != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.get(), 1);
        std::printf("the measurement did not end in 10 minutes\n");
        return false;
    }
    DWORD code = 1;
    GetExitCodeProcess(processHandle.get(), &code);
    if (code != 0) {
        std::printf("the measurement ended with exit code %lu\n", code);
    }
    return code == 0;
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
    const std::wstring tail = std::to_wstring(gateways) + L" " + std::to_wstring(runs);
    const bool refreshed = InChild(L"--refreshes " + tail);
    const bool library = InChild(L"--library " + tail);
    return refreshed && library;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4) {
        // A measurement of its own, started by the run below.
        const std::string kind = argv[1];
        const int gateways = std::atoi(argv[2]);
        const int runs = std::atoi(argv[3]);
        const bool ok =
            kind == "--refreshes" ? MeasureRefreshes(gateways, runs) : MeasureLibrary(runs);
        std::fflush(stdout);
        return ok ? 0 : 1;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::printf("goal: under 10 ms a refresh, no growth of handles or memory over the runs\n");
    bool ok = true;
    for (int gateways : {1, 8}) {
        ok = Run(gateways, runs) && ok;
    }
    Tool(L"reset");
    return ok ? 0 : 1;
}
