// The driver package check and the suite folders against the real registry of the test prefix.
#include "RegistryFixture.h"
#include "UniversalUnit.h"

#include <gtest/gtest.h>

namespace {

struct PackageCase {
    const char* name;
    const wchar_t* installed; // nullptr: no key at all
    TDriverCheckResult expected;
    const wchar_t* installedText; // ToString(3) of the installed version
    TDriverCheckResult expectedFor210;
};

class DriverPackage : public ::testing::TestWithParam<PackageCase> {};

TEST_P(DriverPackage, ReadsAndComparesTheInstalledVersion) {
    ScratchRegistryKey key(L"Software\\Tolvak-Quorvel\\VARedidod");
    const PackageCase& c = GetParam();
    if (c.installed) {
        key.SetText(DriverPackageValue, c.installed);
    }
    TVersion installed{9, 9, 9, 9, true};
    TVersion required;
    EXPECT_EQ(CheckDriverPackage(installed, required), c.expected);
    EXPECT_EQ(installed.ToString(3), c.installedText);
    EXPECT_EQ(required.ToString(3), L"2.0.4");
    EXPECT_EQ(CheckInstalledDriverVersion(TVersion(2, 1, 0, 0, true)), c.expectedFor210);
}

INSTANTIATE_TEST_SUITE_P(
    Installed, DriverPackage,
    ::testing::Values(PackageCase{"v2_0_4", L"2.0.4", dcOk, L"2.0.4", dcTooOld},
                      PackageCase{"v2_1_0", L"2.1.0", dcOk, L"2.1.0", dcOk},
                      PackageCase{"v2_0_3", L"2.0.3", dcTooOld, L"2.0.3", dcTooOld},
                      PackageCase{"v1_9_9", L"1.9.9", dcTooOld, L"1.9.9", dcTooOld},
                      PackageCase{"v3_0_0", L"3.0.0", dcTooNew, L"3.0.0", dcTooNew},
                      PackageCase{"v2_0_9", L"2.0.9", dcOk, L"2.0.9", dcTooOld},
                      PackageCase{"with_build", L"2.0.4.77", dcOk, L"2.0.4", dcTooOld},
                      PackageCase{"two_parts", L"2.0", dcNotInstalled, L"", dcNotInstalled},
                      PackageCase{"empty", L"", dcNotInstalled, L"", dcNotInstalled},
                      PackageCase{"not_a_number", L"2.x.4", dcNotInstalled, L"", dcNotInstalled},
                      PackageCase{"no_key", nullptr, dcNotInstalled, L"", dcNotInstalled}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DriverPackage, MissingValueInAnExistingKeyIsNotInstalled) {
    ScratchRegistryKey key(L"Software\\Tolvak-Quorvel\\VARedidod");
    key.SetText(L"Other", L"2.1.0");
    TVersion installed;
    TVersion required;
    EXPECT_EQ(CheckDriverPackage(installed, required), dcNotInstalled);
    EXPECT_FALSE(installed.IsValid());
    EXPECT_EQ(installed.ToU64(), 0u);
}

const wchar_t DiagnosticsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVEXDiagnostics8.0_is1";

struct LocationCase {
    const char* name;
    TKorvexProduct product;
    const wchar_t* suffix;
    const wchar_t* keyPath; // written in the 32-bit view
    const wchar_t* stored;
    const wchar_t* expected;
};

class InstallLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(InstallLocation, ReadsTheUninstallEntryInTheThirtyTwoBitView) {
    const LocationCase& c = GetParam();
    ScratchRegistryKey key(c.keyPath, KEY_WOW64_32KEY);
    if (c.stored) {
        key.SetText(L"InstallLocation", c.stored);
    }
    EXPECT_EQ(GetInstallLocation(c.product, c.suffix), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, InstallLocation,
    ::testing::Values(
        LocationCase{"adds_delimiter", kpDiagnostics, L"8.0", DiagnosticsKey, L"C:\\KX\\Diag",
                     L"C:\\KX\\Diag\\"},
        LocationCase{"keeps_one_delimiter", kpDiagnostics, L"8.0", DiagnosticsKey,
                     L"C:\\KX\\Diag\\", L"C:\\KX\\Diag\\"},
        LocationCase{"not_installed", kpDiagnostics, L"8.0", DiagnosticsKey, nullptr, L""},
        LocationCase{"other_suffix", kpDiagnostics, L"7.0", DiagnosticsKey, L"C:\\KX", L""},
        LocationCase{"zedit", kpZedit, L"8.0",
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVEXZEDIT8.0_is1",
                     L"D:\\Zedit", L"D:\\Zedit\\"},
        LocationCase{"base_ignores_suffix", kpBase, L"whatever",
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORVEX_BASE_is1",
                     L"E:\\Base", L"E:\\Base\\"},
        LocationCase{"product_without_key", static_cast<TKorvexProduct>(5), L"8.0", DiagnosticsKey,
                     L"C:\\KX", L""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InstallLocation, OnlyTheThirtyTwoBitViewCounts) {
    ScratchRegistryKey key(DiagnosticsKey, KEY_WOW64_64KEY);
    key.SetText(L"InstallLocation", L"C:\\SixtyFour");
    EXPECT_EQ(GetInstallLocation(kpDiagnostics, L"8.0"), L"");
}

TEST(MiscFolder, IsRelativeWhenTheDiagnosticsToolIsMissing) {
    ScratchRegistryKey key(DiagnosticsKey, KEY_WOW64_32KEY);
    EXPECT_EQ(GetMiscFolder(), L"Misc\\");
    EXPECT_EQ(GetDriverSetupProgram(), L"Misc\\VARedidodSetup2.exe");
}

} // namespace
