// Benchmark (Windows, not a test): end-to-end bytes/s of the real vessa_flash.exe against the
// emulated driver, beside a bare loop in this process that sends the same requests through
// DeviceIoControl and does nothing else. Prints both and their ratio.
//   scripts/wine-env build/win64/wine run build/win64/bin/flash_wine_bench.exe [KiB] [runs]
// It installs the emulator into the prefix and resets it (its gateways are lost).
#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "WinHandles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

std::string bin_folder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

void put(std::uint8_t* b, std::uint32_t offset, std::uint32_t v) {
    std::memcpy(b + offset, &v, 4);
}

bool control(HANDLE device, std::uint32_t code, std::uint8_t* buffer, DWORD size) {
    DWORD returned = 0;
    return DeviceIoControl(device, code, buffer, size, buffer, size, &returned, nullptr) != FALSE;
}

void command(HANDLE device, std::uint32_t c) {
    std::uint8_t b[24] = {};
    put(b, 4, c);
    put(b, 12, 255);
    put(b, 16, 255);
    put(b, 20, 255);
    control(device, 0x80022404, b, sizeof b);
}

void transfer(HANDLE device, std::uint32_t code, std::uint32_t address, std::uint32_t length,
              const std::uint8_t* data) {
    std::uint8_t b[32] = {};
    put(b, 8, address);
    put(b, 12, length);
    if (data != nullptr) {
        std::memcpy(b + 16, data, length);
    }
    control(device, code, b, sizeof b);
}

struct phases {
    double download = 0;
    double compare = 0;
    double total = 0;
};

// The requests the programmer sends for the image, with nothing else done.
phases bare_loop(const std::vector<std::uint8_t>& file, std::uint32_t load_addr) {
    UniqueFileHandle device(CreateFileA("\\\\.\\Quorvelxlink0.exclusive",
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    phases p;
    if (!device.valid()) {
        std::fprintf(stderr, "cannot open the device: %lu\n", GetLastError());
        return p;
    }
    const auto length = static_cast<std::uint32_t>(file.size());
    const auto start = clock_type::now();
    command(device.get(), 4);
    command(device.get(), 1);
    for (std::uint32_t k = 0; k * 0x10000 < length; ++k) {
        transfer(device.get(), 0x80022408, ((load_addr + k * 0x10000) & 0xFF0000) + 0xFFFE, 0,
                 nullptr);
    }
    command(device.get(), 2);
    auto phase = clock_type::now();
    for (std::uint32_t offset = 0; offset < length;) {
        const std::uint32_t a = load_addr + offset;
        std::uint32_t n = std::min<std::uint32_t>(16, length - offset);
        if (((a ^ (a + n - 1)) & ~0xFFu) != 0) {
            n = 256 - a % 256;
        }
        transfer(device.get(), 0x80022408, a, n, file.data() + offset);
        offset += n;
    }
    p.download = seconds_since(phase);
    command(device.get(), 5);
    phase = clock_type::now();
    for (std::uint32_t offset = 0; offset < length; offset += 16) {
        transfer(device.get(), 0x8002240C, load_addr + offset,
                 std::min<std::uint32_t>(16, length - offset), nullptr);
    }
    p.compare = seconds_since(phase);
    command(device.get(), 3);
    p.total = seconds_since(start);
    return p;
}

// Runs a program detached, as vessa_flash runs for a calling program; returns its wall time, or
// a negative value when it failed, and what it printed.
double run_child(std::string line, std::string& output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFileHandle read_end, write_end;
    CreatePipe(read_end.put(), write_end.put(), &inherit, 0);
    SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end.get();
    PROCESS_INFORMATION info{};
    const auto start = clock_type::now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
        return -1;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    write_end.reset();
    output.clear();
    char block[4096];
    DWORD read = 0;
    while (ReadFile(read_end.get(), block, sizeof block, &read, nullptr) && read > 0) {
        output.append(block, read);
    }
    WaitForSingleObject(process.get(), 600000);
    const double elapsed = seconds_since(start);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    if (code != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", line.c_str(), output.c_str());
        return -1;
    }
    return elapsed;
}

// Runs vessa_flash.exe on the image; returns its wall time and fills its reported rates.
double run_programmer(const std::string& image, unsigned& download_rate, unsigned& compare_rate) {
    std::string output;
    const double elapsed = run_child(
        "\"" + bin_folder() + "vessa_flash.exe\" -C0 -unattended \"" + image + "\"", output);
    download_rate = compare_rate = 0;
    if (const auto at = output.find("Download complete ("); at != std::string::npos) {
        download_rate = static_cast<unsigned>(std::strtoul(output.c_str() + at + 19, nullptr, 10));
    }
    if (const auto at = output.find("Compare finished ("); at != std::string::npos) {
        compare_rate = static_cast<unsigned>(std::strtoul(output.c_str() + at + 18, nullptr, 10));
    }
    return elapsed;
}

// The bare loop in a process of its own, started as vessa_flash is, so that both pay the same
// process start and run under the same conditions.
double run_bare_loop(std::uint32_t kib, phases& p) {
    std::string output;
    const double elapsed = run_child(
        "\"" + bin_folder() + "flash_wine_bench.exe\" --bare-loop " + std::to_string(kib), output);
    if (std::sscanf(output.c_str(), "%lf %lf %lf", &p.download, &p.compare, &p.total) != 3) {
        return -1;
    }
    return elapsed;
}

vg730::ImageSpec bench_image(std::uint32_t kib) {
    vg730::ImageSpec spec;
    spec.size = kib * 1024 - 26;
    spec.load_addr = 0x10000;
    return spec;
}

void wait_until_present(vg730emu::EmulatorControl& control) {
    for (int i = 0; i < 100 && control.Report(0).presence != VG730_PRESENT; ++i) {
        Sleep(100);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--bare-loop") == 0) {
        const vg730::ImageSpec spec = bench_image(static_cast<std::uint32_t>(std::atoi(argv[2])));
        const phases p = bare_loop(vg730::BuildImage(spec), spec.load_addr);
        std::printf("%.6f %.6f %.6f\n", p.download, p.compare, p.total);
        return p.total > 0 ? 0 : 1;
    }
    const std::uint32_t kib = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 256;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    try {
        vg730emu::Install(vg730emu::InstallOptions{});
        vg730emu::ResetEmulator();
        vg730emu::EmulatorControl control;
        control.AddDevice(0);

        const vg730::ImageSpec spec = bench_image(kib);
        const std::vector<std::uint8_t> file = vg730::BuildImage(spec);
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / "flash_bench.img";
        vg730::WriteImageFile(path, spec);
        const double requests = 2.0 * ((file.size() + 15) / 16);

        double best_programmer = 1e9;
        unsigned best_down = 0, best_up = 0;
        phases best_bare{1e9, 1e9, 1e9};
        double best_bare_process = 1e9;
        for (int run = 0; run < runs; ++run) {
            unsigned down = 0, up = 0;
            const double t = run_programmer(path.string(), down, up);
            if (t < 0) {
                return 1;
            }
            best_programmer = std::min(best_programmer, t);
            best_down = std::max(best_down, down);
            best_up = std::max(best_up, up);
            wait_until_present(control);
            phases p;
            const double bare_process = run_bare_loop(kib, p);
            if (bare_process < 0) {
                return 1;
            }
            best_bare_process = std::min(best_bare_process, bare_process);
            best_bare.download = std::min(best_bare.download, p.download);
            best_bare.compare = std::min(best_bare.compare, p.compare);
            best_bare.total = std::min(best_bare.total, p.total);
            wait_until_present(control);
        }
        const double bytes = static_cast<double>(file.size());
        std::printf("image: %zu bytes, about %.0f requests, best of %d runs\n", file.size(),
                    requests, runs);
        std::printf("vessa_flash.exe, whole run (process start, identity, load, all phases): "
                    "%.2f s = %.0f bytes/s of image\n",
                    best_programmer, bytes / best_programmer);
        std::printf("bare loop process, whole run (process start, image build, requests): "
                    "%.2f s = %.0f bytes/s of image\n",
                    best_bare_process, bytes / best_bare_process);
        std::printf("ratio of the whole runs: %.3f\n", best_programmer / best_bare_process);
        std::printf(
            "download: vessa_flash reports %u bytes/s, bare loop %.0f bytes/s, ratio %.3f\n",
            best_down, bytes / best_bare.download, (bytes / best_bare.download) / best_down);
        std::printf(
            "compare:  vessa_flash reports %u bytes/s, bare loop %.0f bytes/s, ratio %.3f\n",
            best_up, bytes / best_bare.compare, (bytes / best_bare.compare) / best_up);
        std::printf("bare loop per request: %.1f us\n", best_bare.total / requests * 1e6);
        std::filesystem::remove(path);
        vg730emu::ResetEmulator();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "flash_wine_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
