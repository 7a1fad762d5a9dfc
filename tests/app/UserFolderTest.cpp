// The release unpacked into a user's download folder whose name is written outside the system's
// code page, as under a user profile named in Polish or Chinese on an English system: the update
// succeeds, and the report shows the folder's name as it is written.
#include "UpdaterFixture.h"

#include "ExeUnitStrings.h"
#include "UniversalTypesUnit.h"

namespace updater_test {
namespace {

struct UserFolderCase {
    const char* name;
    const wchar_t* user;
    const wchar_t* downloads;
};

void PrintTo(const UserFolderCase& c, std::ostream* out) {
    *out << c.name;
}

class UserFolder : public UpdaterTest, public ::testing::WithParamInterface<UserFolderCase> {};

TEST_P(UserFolder, UpdatesAndTheReportShowsTheFolderAsWritten) {
    const std::filesystem::path user = std::filesystem::path(L"C:\\users") / GetParam().user;
    InstallIn(user / GetParam().downloads / L"VG730", user);
    const std::wstring folder = Folder().Path();
    AddGateway(0);
    StartUpdater();
    ASSERT_TRUE(Offered());
    RunUpdate(L"Firmware update complete.");
    EXPECT_EQ(Report(0).identity.firmware.build, 177u);

    TStrings report;
    report.SetText(ReadReport());
    const std::vector<std::wstring>& lines = report.Lines();
    ASSERT_GE(lines.size(), 9u) << WideToUtf8(report.Text());
    EXPECT_EQ(lines[0],
              L"\"" + folder + FlasherName + L"\" -C0 -vc \"" + folder + ImageName + L"\"");
    EXPECT_EQ(lines[8], L"Loading image file '" + folder + ImageName + L"'...OK.");
}

const UserFolderCase UserFolderCases[] = {
    {"Chinese", L"\u5f20\u4f1f", L"\u4e0b\u8f7d"},
    {"Polish", L"\u0141ukasz", L"Pobrane"},
};

INSTANTIATE_TEST_SUITE_P(Scripts, UserFolder, ::testing::ValuesIn(UserFolderCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace updater_test
