// Native side: a fixture that runs the whole programmer against emulated devices.
#pragma once

#include "ExpectedOutput.h"
#include "NativePlatform.h"
#include "TestFolder.h"
#include "driver.h"

#include "ImageWriter.h"
#include "Vg730Device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace flash_test {

using flash_expected::banner;

inline std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Runs the whole programmer against devices plugged in by the test.
class Program : public ::testing::Test {
protected:
    void SetUp() override { flash_test::reset_platform(); }

    Vg730Device& plug(int n, Vg730Identity identity) {
        devices_[n] = std::make_unique<Vg730Device>();
        vg730_device_init(devices_[n].get(), static_cast<std::uint32_t>(n), &identity);
        platform_state().devices[n] = devices_[n].get();
        return *devices_[n];
    }
    Vg730Device& plug(int n) {
        Vg730Identity identity;
        vg730_identity_default(&identity, static_cast<std::uint32_t>(n));
        return plug(n, identity);
    }
    static Vg730Identity identity_with_ean(std::uint32_t hi, std::uint32_t lo) {
        Vg730Identity identity;
        vg730_identity_default(&identity, 0);
        identity.ean_hi = hi;
        identity.ean_lo = lo;
        return identity;
    }

    std::string image(const std::string& name, vg730::ImageSpec spec = small()) {
        return folder_.write(name, vg730::BuildImage(spec));
    }
    static vg730::ImageSpec small() {
        vg730::ImageSpec spec;
        spec.size = 2000;
        return spec;
    }

    int run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "vessa_flash.exe");
        const int code = flash_test::run_program(arguments);
        output = flash_test::captured_output();
        return code;
    }
    // The flash commands sent, in order.
    static std::vector<std::uint32_t> flash_commands() {
        std::vector<std::uint32_t> commands;
        for (const sent_request& r : platform_state().requests) {
            if (r.control_code == flash::IOCTL_FLASH_COMMAND) {
                commands.push_back(r.word4);
            }
        }
        return commands;
    }
    Vg730Report report(int n) {
        Vg730Report r;
        vg730_device_report(devices_[n].get(), platform_state().clock_ms, &r);
        return r;
    }

    std::unique_ptr<Vg730Device> devices_[128];
    flash_test::test_folder folder_;
    std::string output;
};

} // namespace flash_test
