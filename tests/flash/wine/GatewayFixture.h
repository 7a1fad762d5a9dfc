// Windows side (tests): emulated gateways in the prefix's driver, images and index files in a
// scratch folder, and the real vessa_flash.exe run against them.
#pragma once

#include "ExpectedOutput.h"
#include "FlasherProcess.h"
#include "DeviceFaults.h"
#include "TestFolder.h"

#include "EmulatorControl.h"
#include "ImageWriter.h"
#include "Vg730Crc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace flash_wine {

using flash_expected::banner;
using flash_expected::not_updated;

class Gateways : public ::testing::Test {
public:
    // A small image: quick to program (each request costs about 0.3 ms here).
    static vg730::ImageSpec small(std::uint32_t length = 1026) {
        vg730::ImageSpec spec;
        spec.load_addr = 0x10000;
        spec.size = length - 26;
        return spec;
    }

protected:
    void SetUp() override {
        vg730emu::ResetEmulator();
        control_.emplace();
        folder_.emplace();
    }
    void TearDown() override {
        control_.reset();
        folder_.reset();
    }

    vg730emu::EmulatorControl& control() { return *control_; }

    static Vg730Identity identity(std::uint32_t ean_lo = 0x99001237, std::uint32_t hw_major = 1) {
        Vg730Identity id;
        vg730_identity_default(&id, 0);
        id.ean_lo = ean_lo;
        id.hardware_major = hw_major;
        return id;
    }
    void add(std::uint32_t n, const Vg730Identity& id = identity()) { control().AddDevice(n, id); }

    std::string image(const std::string& name, const vg730::ImageSpec& spec = small()) {
        const std::filesystem::path path = folder_->path() / name;
        std::filesystem::create_directories(path.parent_path());
        vg730::WriteImageFile(path, spec);
        return path.string();
    }
    std::string file(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = folder_->path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    Vg730Report report(std::uint32_t n) { return control().Report(n); }
    // The report once the gateway is back from a restart (at once when it is not restarting).
    // Polled: the restart takes the emulator's time, and a busy machine may take longer still.
    Vg730Report settled(std::uint32_t n) {
        const DWORD started = GetTickCount();
        Vg730Report r = report(n);
        while (r.presence == VG730_RESTARTING && GetTickCount() - started < 60000) {
            Sleep(20);
            r = report(n);
        }
        return r;
    }

    std::optional<vg730emu::EmulatorControl> control_;
    std::optional<flash_test::test_folder> folder_;
};

using flash_faults::call_fault;
using flash_faults::corrupt;
using flash_faults::refuse_start;
using flash_faults::status_fault;

} // namespace flash_wine
