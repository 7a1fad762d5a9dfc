// The updater program's resources: the manifest that selects visual styles and asks for no
// administrator rights, and the version information Windows shows for the file.
#include "ChildProcess.h"
#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring UpdaterPath() {
    return BinFolder() + L"VG730FirmwareUpdate.exe";
}

TEST(UpdaterResources, ManifestSelectsCommonControlsSixAsInvoker) {
    UniqueModule exe(LoadLibraryExW(UpdaterPath().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(exe) << GetLastError();
    HRSRC found = FindResourceW(exe.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    const auto* text = static_cast<const char*>(LockResource(LoadResource(exe.get(), found)));
    const std::string manifest(text, SizeofResource(exe.get(), found));
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
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

TEST(UpdaterResources, VersionInformationNamesTheProgram) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(UpdaterPath().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(UpdaterPath().c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 5u);
    EXPECT_EQ(fixed->dwFileVersionLS, 177u << 16);
    EXPECT_EQ(VersionString(info, L"FileDescription"), L"VG730 Firmware Update");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"VG730FirmwareUpdate.exe");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"2.05.177");
}

} // namespace
