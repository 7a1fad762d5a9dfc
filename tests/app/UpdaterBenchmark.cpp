// Benchmark (prints figures, asserts nothing): what the running updater costs. With one emulated
// gateway connected it measures the updater's processor time over a minute of idle refreshing
// and during the pause after the flash programmer has ended, and what the updater holds
// (handles, committed memory, GDI and USER objects, windows) after 10 refreshes and after 1000.
// Goals: under 1 % of one core idle, under 5 % during the pause, nothing growing.
//
//   cmake --build --preset win64 --target updater_benchmark_run
//   scripts/wine-env build/win64/wine run build/win64/bin/updater_benchmark.exe [idle seconds]
//
// Refreshes are triggered by timer messages posted to the window (each one is the refresh the
// 1 s timer runs), so a thousand take seconds, not a quarter of an hour. It installs the
// emulator when needed and resets it at the end.
#include "ChildProcess.h"
#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "ProcessResources.h"
#include "UpdaterWindow.h"

#include "UniversalTypesUnit.h"

#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using updater::MainView;
using updater::MainWindow;

double CpuSeconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

struct Held {
    ProcessResources process;
    DWORD gdi = 0;
    DWORD user = 0;
    int windows = 0;
};

Held Measure(const ChildProcess& updater) {
    Held held;
    held.process = ProcessResources::Of(updater.Process(), updater.Id());
    held.gdi = GetGuiResources(updater.Process(), GR_GDIOBJECTS);
    held.user = GetGuiResources(updater.Process(), GR_USEROBJECTS);
    for (HWND top : probe::TopLevelWindowsOf(updater.Id())) {
        held.windows += 1 + static_cast<int>(probe::ChildWindowsOf(top).size());
    }
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        held.windows += owner == updater.Id();
    }
    return held;
}

void Print(const char* when, const Held& held, const Held& base) {
    std::printf("  %-18s handles %lld (%+lld), committed %lld KiB (%+lld), GDI %lu (%+ld), USER "
                "%lu (%+ld), windows %d (%+d)\n",
                when, static_cast<long long>(held.process.handles),
                static_cast<long long>(held.process.handles - base.process.handles),
                static_cast<long long>(held.process.committedKiB),
                static_cast<long long>(held.process.committedKiB - base.process.committedKiB),
                held.gdi, static_cast<long>(held.gdi) - static_cast<long>(base.gdi), held.user,
                static_cast<long>(held.user) - static_cast<long>(base.user), held.windows,
                held.windows - base.windows);
}

// Each refresh loads the CAN library once: the count of its initialisations counts refreshes.
std::uint32_t Refreshes(vg730emu::EmulatorControl& control) {
    return control.Calls().Count("canInitializeLibrary");
}

// Runs refreshes one after another by posting the window the timer's message; the timer's
// identifier is not known from outside, so the few a form uses are all tried.
void RunRefreshes(vg730emu::EmulatorControl& control, HWND window, int count) {
    for (int i = 0; i < count; ++i) {
        const std::uint32_t before = Refreshes(control);
        for (UINT id = 100; id < 110; ++id) {
            PostMessageW(window, WM_TIMER, id, 0);
        }
        for (int wait = 0; wait < 5000 && Refreshes(control) == before; ++wait) {
            Sleep(1);
        }
    }
}

HANDLE FindFlasher(DWORD updaterId) {
    for (int i = 0; i < 2000; ++i) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID == updaterId &&
                _wcsicmp(entry.szExeFile, L"vessa_flash.exe") == 0) {
                CloseHandle(snapshot);
                return OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
            }
        }
        CloseHandle(snapshot);
        Sleep(10);
    }
    return nullptr;
}

int Run(int idleSeconds) {
    try {
        vg730emu::ResetEmulator();
    } catch (const std::exception&) {
        vg730emu::Install({});
        vg730emu::ResetEmulator();
    }
    vg730emu::EmulatorControl control;
    control.AddDevice(0);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("updater_benchmark_" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    for (const wchar_t* program : {L"VG730FirmwareUpdate.exe", L"vessa_flash.exe"}) {
        CopyFileW((BinFolder() + program).c_str(), (folder / program).c_str(), FALSE);
    }
    vg730::ImageSpec image;
    image.size = 2048;
    vg730::WriteImageFile(folder / "vozadoror_7300099001237_nodebug.img", image);

    ChildProcess updater(L"\"" + (folder / L"VG730FirmwareUpdate.exe").wstring() + L"\"",
                         folder.wstring());
    MainWindow window(updater.Id());
    MainView view;
    if (!window.Found() ||
        !window.WaitForView([](const MainView& v) { return v.updateButton.enabled; }, view)) {
        std::printf("the updater did not offer the update: %s\n", view.Describe().c_str());
        return 1;
    }

    std::printf("Updater with one gateway connected\n");
    const std::uint32_t refreshesBefore = Refreshes(control);
    const double idleStart = CpuSeconds(updater.Process());
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double idleCpu = CpuSeconds(updater.Process()) - idleStart;
    std::printf("  idle %d s: processor %.3f s = %.2f %% of one core, %u refreshes (goal < 1 %%)\n",
                idleSeconds, idleCpu, 100.0 * idleCpu / idleSeconds,
                Refreshes(control) - refreshesBefore);

    RunRefreshes(control, window.Handle(), 10);
    const Held after10 = Measure(updater);
    const auto started = std::chrono::steady_clock::now();
    RunRefreshes(control, window.Handle(), 990);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const Held after1000 = Measure(updater);
    std::printf("  held (GDI and USER read 0 where the system does not count them):\n");
    Print("after 10 refreshes", after10, after10);
    Print("after 1000", after1000, after10);
    std::printf("  990 refreshes in %.1f s (%.1f ms each)\n", seconds, seconds * 1000 / 990);

    window.ClickUpdate();
    const std::optional<updater::Message> confirm = window.WaitForMessage(20s);
    if (!confirm) {
        std::printf("no confirmation\n");
        return 1;
    }
    MainWindow::Answer(*confirm, L"Yes");
    HANDLE flasher = FindFlasher(updater.Id());
    if (!flasher) {
        std::printf("the flash programmer did not start\n");
        return 1;
    }
    WaitForSingleObject(flasher, 120000);
    CloseHandle(flasher);
    const auto pauseStart = std::chrono::steady_clock::now();
    const double pauseCpuStart = CpuSeconds(updater.Process());
    const std::optional<updater::Message> result = window.WaitForMessage(60s);
    const double pauseCpu = CpuSeconds(updater.Process()) - pauseCpuStart;
    const double pause =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - pauseStart).count();
    std::printf("  pause after the flash programmer: %.1f s, processor %.3f s = %.2f %% of one "
                "core (goal < 5 %%); result \"%s\"\n",
                pause, pauseCpu, 100.0 * pauseCpu / pause,
                result ? WideToUtf8(result->text).c_str() : "none");
    if (result) {
        MainWindow::Answer(*result, L"OK");
    }
    window.Close();
    updater.WaitForExit(20s);
    vg730emu::ResetEmulator();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    try {
        return Run(idleSeconds);
    } catch (const std::exception& error) {
        std::printf("benchmark failed: %s\n", error.what());
        return 1;
    }
}
