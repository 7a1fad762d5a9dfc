// Finding the gateway's library from the installed driver package, the creators' descriptions
// and the start-up registration, against the registry and system folder of the test prefix.
#include "PrefixState.h"
#include "VarnikCanClassUnit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using prefix_state::DiagnosticsTool;
using prefix_state::DriverPackage;
using prefix_state::SystemFolderFiles;

const std::vector<std::wstring> AllGatewayFiles = {GatewayDll, GatewayCompanionDll,
                                                   LegacyGatewayDll, LegacyGatewayCompanionDll};

struct GatewayCase {
    const char* label;
    std::optional<std::wstring> package; // installed driver package version, none when empty
    std::vector<std::wstring> present;   // gateway files present; the others are absent
    const wchar_t* found;                // the file FindGatewayDll names, null for none
};

class CanFindGatewayDll : public testing::TestWithParam<GatewayCase> {};

TEST_P(CanFindGatewayDll, ChoosesThePairOfThePackageAndNeedsBothFiles) {
    const GatewayCase& c = GetParam();
    DriverPackage package;
    package.Set(c.package);
    SystemFolderFiles files;
    std::vector<std::wstring> absent;
    for (const std::wstring& name : AllGatewayFiles) {
        if (std::find(c.present.begin(), c.present.end(), name) == c.present.end()) {
            absent.push_back(name);
        }
    }
    files.Set(c.present, absent);

    const std::wstring expected = c.found ? GetSystemFolder() + c.found : std::wstring();
    EXPECT_EQ(FindGatewayDll(), expected);
    TVg730CanApiCreator creator;
    EXPECT_EQ(creator.DriverFound(), c.found != nullptr);
    EXPECT_EQ(creator.OwnData.Errors.empty(), c.found != nullptr);
}

const std::vector<std::wstring> NewPair = {GatewayDll, GatewayCompanionDll};
const std::vector<std::wstring> LegacyPair = {LegacyGatewayDll, LegacyGatewayCompanionDll};
const std::vector<std::wstring> BothPairs = {GatewayDll, GatewayCompanionDll, LegacyGatewayDll,
                                             LegacyGatewayCompanionDll};

INSTANTIATE_TEST_SUITE_P(
    Can, CanFindGatewayDll,
    testing::Values(
        GatewayCase{"Package210NewPair", L"2.1.0", NewPair, GatewayDll},
        GatewayCase{"Package210BothPairs", L"2.1.0", BothPairs, GatewayDll},
        GatewayCase{"Package210OnlyLegacyPair", L"2.1.0", LegacyPair, nullptr},
        GatewayCase{"Package210CompanionMissing", L"2.1.0", {GatewayDll}, nullptr},
        GatewayCase{"Package210LibraryMissing", L"2.1.0", {GatewayCompanionDll}, nullptr},
        GatewayCase{"Package299NewPair", L"2.9.9", NewPair, GatewayDll},
        GatewayCase{"Package204LegacyPair", L"2.0.4", LegacyPair, LegacyGatewayDll},
        GatewayCase{"Package204BothPairs", L"2.0.4", BothPairs, LegacyGatewayDll},
        GatewayCase{"Package204OnlyNewPair", L"2.0.4", NewPair, nullptr},
        GatewayCase{"Package204LegacyCompanionMissing", L"2.0.4", {LegacyGatewayDll}, nullptr},
        GatewayCase{"Package209LegacyPair", L"2.0.9", LegacyPair, LegacyGatewayDll},
        GatewayCase{"TooOld203", L"2.0.3", BothPairs, nullptr},
        GatewayCase{"TooOld199", L"1.9.9", BothPairs, nullptr},
        GatewayCase{"TooNew300", L"3.0.0", BothPairs, nullptr},
        GatewayCase{"NotInstalled", std::nullopt, BothPairs, nullptr},
        GatewayCase{"UnreadableVersion", L"2.1", BothPairs, nullptr}),
    [](const testing::TestParamInfo<GatewayCase>& info) { return info.param.label; });

// The generic creator looks for either of its two files.
struct GenericCase {
    const char* label;
    std::vector<std::wstring> present;
    bool found;
};

class CanVarnikCreator : public testing::TestWithParam<GenericCase> {};

TEST_P(CanVarnikCreator, ErrorsAreEmptyOnlyWhenADriverFileIsThere) {
    const GenericCase& c = GetParam();
    SystemFolderFiles files;
    for (const wchar_t* name : GenericDriverFiles) {
        files.Set(name, false);
    }
    for (const std::wstring& name : c.present) {
        files.Set(name, true);
    }
    TVarnikCanApiCreator creator;
    EXPECT_EQ(creator.DriverFound(), c.found);
    EXPECT_EQ(creator.OwnData.Errors, c.found ? L"" : VarnikDriverNotFoundMessage());
    EXPECT_EQ(creator.OwnData.id, 1);
    EXPECT_EQ(creator.OwnData.name, L"Varnik");
    EXPECT_EQ(creator.OwnData.Capabilities,
              L"enable,recover,baudchange,50000,100000,125000,250000,500000,1000000");
    EXPECT_EQ(creator.OwnData.Warnings, L"");
    EXPECT_EQ(creator.OwnData.DetailedName, L"");
    EXPECT_TRUE(creator.ChildData.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Can, CanVarnikCreator,
    testing::Values(GenericCase{"Vncomm", {L"VNCOMM32.DLL"}, true},
                    GenericCase{"Vnglue", {L"VNGLUE32.DLL"}, true},
                    GenericCase{"Both", {L"VNCOMM32.DLL", L"VNGLUE32.DLL"}, true},
                    GenericCase{"Neither", {}, false}),
    [](const testing::TestParamInfo<GenericCase>& info) { return info.param.label; });

// The gateway creator names the driver set-up program when there is one. The set-up program's
// name is kept from its first look-up, so each test sets the diagnostics tool up first.
TEST(CanVg730Creator, DriverMissingNamesTheSetUpProgramWhenItExists) {
    DiagnosticsTool tool;
    DriverPackage package;
    package.Set(std::nullopt);
    tool.SetSetupProgramPresent(true);
    {
        TVg730CanApiCreator creator;
        EXPECT_FALSE(creator.DriverFound());
        EXPECT_EQ(creator.OwnData.Errors,
                  L"VG730 driver not found.\r\n\r\nThe following file can be used to install the "
                  L"driver:\r\n" +
                      tool.SetupProgram());
    }
    tool.SetSetupProgramPresent(false);
    {
        TVg730CanApiCreator creator;
        EXPECT_EQ(creator.OwnData.Errors, L"VG730 driver not found.");
    }
}

TEST(CanVg730Creator, DescriptionWithTheDriverFound) {
    DriverPackage package;
    package.Set(L"2.1.0");
    SystemFolderFiles files;
    files.Set(NewPair, {});
    TVg730CanApiCreator creator;
    EXPECT_EQ(creator.OwnData.id, 3);
    EXPECT_EQ(creator.OwnData.name, L"VG730");
    EXPECT_EQ(creator.OwnData.Capabilities,
              L"enable,recover,baudchange,50000,100000,125000,250000,500000,1000000");
    EXPECT_EQ(creator.OwnData.Errors, L"");
    EXPECT_EQ(creator.OwnData.Warnings, L"");
    EXPECT_EQ(creator.OwnData.DetailedName, L"");
}

TEST(CanStartUp, RegistersTheGenericThenTheGatewayCreatorWithTheirChecks) {
    DiagnosticsTool tool;
    tool.SetSetupProgramPresent(false);
    DriverPackage package;
    package.Set(L"2.1.0");
    SystemFolderFiles files;
    files.Set({L"VNGLUE32.DLL"}, {L"VNCOMM32.DLL", GatewayDll, GatewayCompanionDll});
    SetCanDllName(L"left-over.dll");
    SetGatewayMode(true);
    SetBootModeForced(true);

    InitializeCanModules();

    EXPECT_EQ(CanDllName(), L"VNCOMM32.DLL");
    EXPECT_FALSE(GatewayMode());
    EXPECT_FALSE(BootModeForced());
    std::vector<int32_t> ids;
    for (const auto& [id, creator] : CanApiCreators()) {
        ids.push_back(id);
        EXPECT_EQ(creator->OwnData.id, id);
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 3}));
    EXPECT_NE(dynamic_cast<TVarnikCanApiCreator*>(CanApiCreators().at(1).get()), nullptr);
    EXPECT_NE(dynamic_cast<TVg730CanApiCreator*>(CanApiCreators().at(3).get()), nullptr);
    // The checks ran at registration: the generic driver is there, the gateway's is not.
    EXPECT_EQ(CanApiCreators().at(1)->OwnData.Errors, L"");
    EXPECT_EQ(CanApiCreators().at(3)->OwnData.Errors, L"VG730 driver not found.");
}

TEST(CanStartUp, ASecondGatewayCreatorDestroysTheOneRegisteredBefore) {
    InitializeCanModules();
    // A gateway creator that reports its destruction.
    struct Watched : TVg730CanApiCreator {
        explicit Watched(bool& destroyed) : FDestroyed(destroyed) {}
        ~Watched() override { FDestroyed = true; }
        bool& FDestroyed;
    };
    bool destroyed = false;
    RegisterCanApiCreator(std::make_unique<Watched>(destroyed));
    EXPECT_NE(dynamic_cast<Watched*>(CanApiCreators().at(3).get()), nullptr);
    EXPECT_FALSE(destroyed);
    RegisterCanApiCreator(std::make_unique<TVg730CanApiCreator>());
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(dynamic_cast<Watched*>(CanApiCreators().at(3).get()), nullptr);
    EXPECT_EQ(CanApiCreators().size(), 2u);
    InitializeSdCanClassUnit();
}

} // namespace
