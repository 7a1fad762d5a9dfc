// Windows side, tests only: the programs under test, and the skip of a 32-bit run where this
// machine does not run 32-bit programs.
#include "ProgramsUnderTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace programs {

namespace {

std::filesystem::path own_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length > 0 && length < path.size()) {
            path.resize(length);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

// Before the first case: the run's verdict decides whether the cases run at all.
class VerdictGate : public ::testing::Environment {
public:
    void SetUp() override {
        if (!std::getenv("VG_PROGRAMS")) {
            return;
        }
        const char* check = std::getenv("VG_PROGRAMS_CHECK");
        ASSERT_NE(check, nullptr) << "VG_PROGRAMS is set without VG_PROGRAMS_CHECK";
        std::ifstream file(check);
        std::string verdict;
        ASSERT_TRUE(std::getline(file, verdict))
            << "no verdict in " << check << ": the test win32.check did not run";
        if (verdict.starts_with("no: ")) {
            GTEST_SKIP() << "32-bit Windows programs do not run here: " << verdict.substr(4);
        }
        ASSERT_EQ(verdict, "yes") << "unreadable verdict in " << check;
    }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new VerdictGate);

} // namespace

std::filesystem::path Folder() {
    if (const char* folder = std::getenv("VG_PROGRAMS")) {
        return folder;
    }
    return own_folder();
}

REGSAM OwnRegistryView(const std::filesystem::path& program) {
    DWORD type = 0;
    if (GetBinaryTypeW(program.c_str(), &type) && type == SCS_32BIT_BINARY) {
        return KEY_WOW64_32KEY;
    }
    return KEY_WOW64_64KEY;
}

} // namespace programs
