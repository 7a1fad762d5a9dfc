// The programs' resources as Windows reads them: the updater's manifest (visual styles, no
// administrator rights, its own DPI scaling) and the version information of both programs. Run
// against the programs under test: the 64-bit builds, the 32-bit release ones, or the programs
// unpacked from a release package.
#include "ProgramsUnderTest.h"
#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring PathOf(const wchar_t* program) {
    return (programs::Folder() / program).wstring();
}

TEST(UpdaterResources, ManifestAsksForStylesNoAdministratorAndOwnDpiScaling) {
    UniqueModule exe(LoadLibraryExW(PathOf(L"VG730FirmwareUpdate.exe").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe) << GetLastError();
    HRSRC found = FindResourceW(exe.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const auto* text = static_cast<const char*>(LockResource(LoadResource(exe.get(), found)));
    const std::string manifest(text, SizeofResource(exe.get(), found));
    for (const char* part :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
          ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part << " is not in\n" << manifest;
    }
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

struct VersionCase {
    const wchar_t* program;
    const wchar_t* description;
};

class ProgramVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ProgramVersion, NamesTheProgramProductAndMaker) {
    const std::wstring path = PathOf(GetParam().program);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version information in " << WideToUtf8(path);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 5u);
    EXPECT_EQ(fixed->dwFileVersionLS, 177u << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, (2u << 16) | 5u);
    EXPECT_EQ(fixed->dwProductVersionLS, 177u << 16);
    EXPECT_EQ(VersionString(info, L"FileDescription"), GetParam().description);
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), GetParam().program);
    EXPECT_EQ(VersionString(info, L"ProductName"), L"VG730 Firmware Update");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"2.05.177");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"2.5.177.0");
    EXPECT_EQ(VersionString(info, L"CompanyName"), L"Tolvak-Quorvel");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramVersion,
    ::testing::Values(VersionCase{L"VG730FirmwareUpdate.exe", L"VG730 Firmware Update"},
                      VersionCase{L"vessa_flash.exe",
                                  L"Firmware programmer for USB CAN interfaces"}),
    [](const auto& info) { return info.index == 0 ? "updater" : "flasher"; });

} // namespace
