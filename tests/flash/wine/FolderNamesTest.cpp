// Windows side: vessa_flash.exe run by hand on an image or index file in a user's folder whose
// name is written in another script than the system's code page, as a download folder under a
// user profile is: the file is found, and the name is shown as it is written.
#include "GatewayFixture.h"

#include <gtest/gtest.h>

namespace {

using namespace flash_wine;

std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A user's download folder, made for the test and removed with its user folder afterwards.
class UserFolder {
public:
    UserFolder(const std::string& user, const std::string& downloads) {
        const std::u8string u8user(user.begin(), user.end());
        const std::u8string u8downloads(downloads.begin(), downloads.end());
        user_ = std::filesystem::path(u8"C:\\users") / u8user;
        path_ = user_ / u8downloads / u8"VG730";
        std::error_code ignored;
        std::filesystem::remove_all(user_, ignored);
        std::filesystem::create_directories(path_);
    }
    ~UserFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(user_, ignored);
    }
    UserFolder(const UserFolder&) = delete;
    UserFolder& operator=(const UserFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path user_;
    std::filesystem::path path_;
};

struct folder_case {
    const char* name;
    std::string user;      // UTF-8
    std::string downloads; // UTF-8
};

void PrintTo(const folder_case& c, std::ostream* out) {
    *out << c.name;
}

const folder_case folder_cases[] = {
    {"Polish", "\u0141ukasz", "Pobrane"},
    {"Chinese", "\u5f20\u4f1f", "\u4e0b\u8f7d"},
    {"Cyrillic", "\u0414\u043c\u0438\u0442\u0440\u0438\u0439",
     "\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438"},
    {"Greek", "\u0393\u03b9\u03ce\u03c1\u03b3\u03bf\u03c2", "\u039b\u03ae\u03c8\u03b5\u03b9\u03c2"},
};

class UserFolders : public Gateways, public ::testing::WithParamInterface<folder_case> {
protected:
    void SetUp() override {
        Gateways::SetUp();
        folder_.emplace(GetParam().user, GetParam().downloads);
        add(0);
    }
    void TearDown() override {
        folder_.reset();
        Gateways::TearDown();
    }

    std::string image_in_folder() {
        const std::filesystem::path path = folder_->path() / "vozadoror_7300099001237_nodebug.img";
        vg730::WriteImageFile(path, small());
        return utf8(path);
    }
    // The run found the image at its path, showed the path as written and programmed it.
    void expect_programmed(const run_result& r, const std::string& image) {
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_NE(r.output.find("\nLoading image file '" + image + "'...OK.\n"), std::string::npos)
            << r.output;
        const Vg730Report now = settled(0);
        EXPECT_EQ(vg730emu::FormatFirmware(now.identity.firmware), "2.05.177");
        EXPECT_EQ(now.image_ok, 1u);
    }

    std::optional<UserFolder> folder_;
};

// As the updater runs it, with the image's path as the updater passes it.
TEST_P(UserFolders, ImageIsOpenedAndItsNameShownAsWritten) {
    const std::string path = image_in_folder();
    run_options options;
    options.input = input_kind::hidden;
    options.working_directory = utf8(folder_->path());
    const run_result r = run_flasher({"-C0", "-vc", path}, options);
    expect_programmed(r, path);
}

// An index file in such a folder naming the image there. It is written in UTF-16, the form of
// an INI file that holds any character.
TEST_P(UserFolders, IndexFileAndTheImageItNamesAreOpened) {
    const std::string image = image_in_folder();
    const std::string index = utf8(folder_->path() / "index.ini");
    const std::string text = "[index]\r\nF0=vg730\r\n[vg730]\r\nFile=" + image +
                             "\r\nEanLo=0x99001237\r\nEanHi=0x00073000\r\n";
    const std::wstring wide = [&] {
        std::wstring w(text.size(), L'\0');
        w.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(),
                                static_cast<int>(w.size()))));
        return L"\ufeff" + w;
    }();
    std::ofstream(folder_->path() / "index.ini", std::ios::binary)
        .write(reinterpret_cast<const char*>(wide.data()),
               static_cast<std::streamsize>(wide.size() * sizeof(wchar_t)));

    run_options options;
    options.input = input_kind::text;
    const run_result r = run_flasher({"-index", "-C0", index}, options);
    expect_programmed(r, image);
}

INSTANTIATE_TEST_SUITE_P(Scripts, UserFolders, ::testing::ValuesIn(folder_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// By hand at a command prompt: the console shows the name in its own letters, not in those of
// the bytes' code page.
TEST_F(Gateways, ConsoleShowsTheFolderNameAsWritten) {
    add(0);
    UserFolder folder("\u0141ukasz", "\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438");
    const std::filesystem::path path = folder.path() / "x.img";
    vg730::WriteImageFile(path, small());
    run_options options;
    options.input = input_kind::text;
    options.output_to_console = true;
    const run_result r = run_flasher({"-C0", utf8(path)}, options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("\nLoading image file 'C:\\users\\\u0141ukasz\\\u0417\u0430\u0433"
                            "\u0440\u0443\u0437\u043a\u0438\\VG730\\x.img'...OK.\n"),
              std::string::npos)
        << r.output;
}

} // namespace
