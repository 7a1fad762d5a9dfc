// Windows side (tests): the updater's folder, emulated gateways and the running updater.
#include "UpdaterFixture.h"

#include "ProgramsUnderTest.h"
#include "UniversalTypesUnit.h"

#include <cstdlib>
#include <thread>

namespace updater_test {

// ---- ProgramFolder -----------------------------------------------------------------------------

ProgramFolder::ProgramFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    FPath = std::filesystem::temp_directory_path() /
            (L"VG730 Update, " + Utf8ToWide(name) + L" " + std::to_wstring(GetCurrentProcessId()));
    FRemoveFrom = FPath;
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
    std::filesystem::create_directories(FPath);
}

ProgramFolder::ProgramFolder(std::filesystem::path path, std::filesystem::path removeFrom)
    : FPath(std::move(path)), FRemoveFrom(std::move(removeFrom)) {
    std::error_code ignored;
    std::filesystem::remove_all(FRemoveFrom, ignored);
    std::filesystem::create_directories(FPath);
}

ProgramFolder::~ProgramFolder() {
    // A program that just ended may hold the folder for a moment: what stays is left behind.
    std::error_code ignored;
    std::filesystem::remove_all(FRemoveFrom, ignored);
}

namespace {

void Copy(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + WideToUtf8(from) + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

} // namespace

void ProgramFolder::CopyProgram(const std::wstring& name) const {
    Copy((programs::Folder() / name).wstring(), Path() + name);
}

void ProgramFolder::CopyFromBin(const std::wstring& name, const std::wstring& as) const {
    Copy(BinFolder() + name, Path() + as);
}

vg730::ImageSpec ProgramFolder::SmallImage() {
    vg730::ImageSpec spec;
    spec.size = 2048;
    return spec;
}

void ProgramFolder::WriteImage(const vg730::ImageSpec& spec) const {
    vg730::WriteImageFile(FPath / ImageName, spec);
}

void ProgramFolder::Remove(const std::wstring& name) const {
    DeleteFileW((Path() + name).c_str());
}

// ---- UpdaterTest -------------------------------------------------------------------------------

void UpdaterTest::SetUp() {
    vg730emu::ResetEmulator();
    FControl.emplace();
    FFolder.emplace();
    Folder().CopyProgram(UpdaterName);
    Folder().CopyProgram(FlasherName);
    Folder().WriteImage();
}

void UpdaterTest::InstallIn(const std::filesystem::path& path,
                            const std::filesystem::path& removeFrom) {
    FFolder.emplace(path, removeFrom);
    Folder().CopyProgram(UpdaterName);
    Folder().CopyProgram(FlasherName);
    Folder().WriteImage();
}

void UpdaterTest::TearDown() {
    FWindow.reset();
    if (FProcess && FProcess->Running()) {
        FProcess->Terminate();
    }
    FProcess.reset();
    FControl.reset();
    FFolder.reset();
}

void UpdaterTest::AddGateway(std::uint32_t number, Vg730Version firmware) {
    Vg730Identity id;
    vg730_identity_default(&id, number);
    id.firmware = firmware;
    Control().AddDevice(number, id);
}

void UpdaterTest::AddGatewayAs(std::uint32_t number, const Vg730Identity& identity) {
    Control().AddDevice(number, identity);
}

Vg730Report UpdaterTest::WaitUntilPresent(std::uint32_t number, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    Vg730Report report = Report(number);
    while (report.presence != VG730_PRESENT && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(100ms);
        report = Report(number);
    }
    return report;
}

MainWindow&
UpdaterTest::StartUpdater(const std::vector<std::pair<std::wstring, std::wstring>>& env) {
    for (const auto& [name, value] : env) {
        SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    FProcess = std::make_unique<ChildProcess>(L"\"" + Folder().Path() + UpdaterName + L"\"",
                                              Folder().Path());
    for (const auto& [name, value] : env) {
        SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    FWindow = std::make_unique<MainWindow>(FProcess->Id());
    if (!FWindow->Found()) {
        ADD_FAILURE() << "no main window; windows:\n" << probe::Describe(FProcess->Id());
    }
    return *FWindow;
}

bool UpdaterTest::Offered(std::chrono::milliseconds timeout) {
    MainView seen;
    if (Window().WaitForView([](const MainView& v) { return v.updateButton.enabled; }, seen,
                             timeout)) {
        return true;
    }
    ADD_FAILURE() << "no update offered; the window shows " << seen.Describe();
    return false;
}

bool UpdaterTest::Shows(const std::wstring& status, const std::wstring& action,
                        std::chrono::milliseconds timeout) {
    MainView seen;
    if (Window().WaitForLines(status, action, seen, timeout)) {
        return true;
    }
    ADD_FAILURE() << "the window does not show \"" << WideToUtf8(status) << "\" / \""
                  << WideToUtf8(action) << "\" but " << seen.Describe();
    return false;
}

void UpdaterTest::ExpectMessage(const std::wstring& text, const std::wstring& answer,
                                std::chrono::milliseconds timeout) {
    const std::optional<Message> box = Window().WaitForMessage(timeout);
    ASSERT_TRUE(box) << "no message \"" << WideToUtf8(text) << "\"; the window shows "
                     << Window().View().Describe();
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(probe::TextOf(box->window), updater::MainCaption);
    ASSERT_TRUE(MainWindow::Answer(*box, answer))
        << "no button " << WideToUtf8(answer) << " in " << WideToUtf8(box->Buttons());
    // Gone before the next step looks for the next box.
    for (int i = 0; i < 200 && IsWindow(box->window) && IsWindowVisible(box->window); ++i) {
        std::this_thread::sleep_for(20ms);
    }
}

void UpdaterTest::RunUpdate(const std::wstring& result) {
    Window().ClickUpdate();
    ExpectMessage(L"Do you want to update the VG730 firmware to version 2.05.177?", L"Yes");
    ExpectMessage(result, L"OK");
}

std::wstring UpdaterTest::ReadReport() {
    Window().ClickReport();
    HWND report = Window().WaitForReport();
    if (!report) {
        ADD_FAILURE() << "the report window did not open";
        return {};
    }
    const std::wstring text = MainWindow::ReportText(report);
    EXPECT_TRUE(MainWindow::CloseReport(report));
    for (int i = 0; i < 200 && IsWindowVisible(report); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(IsWindowVisible(report));
    return text;
}

std::wstring UpdaterTest::ScreenshotFolder() {
    const std::wstring folder = BinFolder() + L"..\\screenshots\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void UpdaterTest::Screenshot(HWND window, const std::wstring& name) const {
    // A 32-bit run keeps its own pictures beside those of the 64-bit one.
    const std::wstring file = (std::getenv("VG_PROGRAMS") ? L"win32_" : L"") + name + L".png";
    EXPECT_TRUE(updater::SaveScreenshot(window, ScreenshotFolder() + file))
        << "no screenshot " << WideToUtf8(name);
}

} // namespace updater_test
