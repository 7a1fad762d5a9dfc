// Both sides (tests): a scratch folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "WinApi.h"
#else
#include <unistd.h>
#endif

namespace flash_test {

inline unsigned long process_id() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

class test_folder {
public:
    test_folder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name =
            std::string("vessa_flash_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        // The process id keeps runs of other build trees on this machine apart.
        path_ =
            std::filesystem::temp_directory_path() / (name + "_" + std::to_string(process_id()));
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::create_directories(path_);
    }
    test_folder(const test_folder&) = delete;
    test_folder& operator=(const test_folder&) = delete;
    // A child program that just ended may still hold the folder for a moment (seen under Wine):
    // what cannot be removed stays behind rather than ending the test run.
    ~test_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string write_text(const std::string& name, const std::string& text) const {
        return write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

private:
    std::filesystem::path path_;
};

} // namespace flash_test
