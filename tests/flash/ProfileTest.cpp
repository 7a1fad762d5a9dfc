// Both builds: the programmer's own profile reader answers as the Windows profile reader does.
// Natively it is checked against the answers below; under Wine the same table is checked against
// GetPrivateProfileStringA/IntA on the same files, so the answers are the system's own.
#include "platform.h"
#include "ProfileReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

// An index file of the kind people write, with the corners of the layout in it.
const char index_file[] = "\xEF\xBB\xBF"
                          "before=first section\r\n"
                          "[Index]\r\n"
                          " F0 = Vg730 \r\n"
                          "f1=\"quoted entry\"\r\n"
                          "F2=\r\n"
                          "F3\r\n"
                          "F3=shadowed\r\n"
                          "F4='single'\r\n"
                          "F5=\"half\r\n"
                          "F6=a;b\r\n"
                          "F7=a=b=c\r\n"
                          "F8=\"\"\r\n"
                          "F9=\" x \"\r\n"
                          "F10=abcdefghijklmnopq\r\n"
                          "F11=\t\x0bvalue\x0b\t\r\n"
                          "; comment=kept as a key\r\n"
                          "# h=1\r\n"
                          "dup=1\r\n"
                          "dup=2\r\n"
                          "  [ Vg730 ]  trailing text\r\n"
                          "File=images\\vg730.img\r\n"
                          "EanHi=0x00073000\r\n"
                          "EanLo=0x99001237\r\n"
                          "Hwr=1\r\n"
                          "MajorVersion=2\r\n"
                          "m1  =  spaced key\r\n"
                          "[bad\r\n"
                          "after_bad=still Vg730\r\n"
                          "[Numbers]\n"
                          "hex=0x1F\n"
                          "upper_hex=0X10\n"
                          "neg=-5\n"
                          "neg_hex=-0x10\n"
                          "plus=+7\n"
                          "octal=0o17\n"
                          "binary=0b101\n"
                          "leading_zero=010\n"
                          "trailing=12abc\n"
                          "space_inside=12 34\n"
                          "sign_space=- 5\n"
                          "bare_prefix=0x\n"
                          "big=0x99001237\n"
                          "wrap=4294967297\n"
                          "wrap_big=99999999999\n"
                          "long29=00000000000000000000000000042\n"
                          "long30=000000000000000000000000000042\n"
                          "quoted=\"12\"\n"
                          "empty=\n"
                          "text=abc\n"
                          "[index]\n"
                          "F12=in a second section of the same name\n"
                          "[]\n"
                          "k=empty name\n";

struct query {
    const char* section;
    const char* key;
    std::uint32_t size;
    const char* text;     // with the default "DEF"
    std::uint32_t number; // with the default 77
};

// clang-format off
const query queries[] = {
    {"", "before", 64, "first section", 0},
    {"index", "F0", 64, "Vg730", 0},
    {"INDEX", "f0", 64, "Vg730", 0},
    {"index", "F1", 64, "quoted entry", 0},
    {"index", "F2", 64, "", 77},
    {"index", "F3", 64, "DEF", 77},
    {"index", "F4", 64, "single", 0},
    {"index", "F5", 64, "\"half", 0},
    {"index", "F6", 64, "a;b", 0},
    {"index", "F7", 64, "a=b=c", 0},
    {"index", "F8", 64, "", 77},
    {"index", "F9", 64, " x ", 0},
    {"index", "F10", 12, "abcdefghijk", 0},
    {"index", "F10", 1, "", 0},
    {"index", "F11", 64, "value", 0},
    {"index", "F12", 64, "DEF", 77},
    {"index", "; comment", 64, "kept as a key", 0},
    {"index", "# h", 64, "1", 1},
    {"index", "dup", 64, "1", 1},
    {"index", "missing", 64, "DEF", 77},
    {"index", "missing", 3, "DE", 77},
    {"vg730", "File", 64, "images\\vg730.img", 0},
    {" Vg730 ", "EanHi", 64, "0x00073000", 0x00073000},
    {"Vg730", "EanLo", 64, "0x99001237", 0x99001237},
    {"Vg730", "Hwr", 64, "1", 1},
    {"Vg730", "m1", 64, "spaced key", 0},
    {"Vg730", "after_bad", 64, "still Vg730", 0},
    {"bad", "after_bad", 64, "DEF", 77},
    {"Numbers", "hex", 64, "0x1F", 31},
    {"Numbers", "upper_hex", 64, "0X10", 0},
    {"Numbers", "neg", 64, "-5", 0xFFFFFFFBu},
    {"Numbers", "neg_hex", 64, "-0x10", 0xFFFFFFF0u},
    {"Numbers", "plus", 64, "+7", 7},
    {"Numbers", "octal", 64, "0o17", 15},
    {"Numbers", "binary", 64, "0b101", 5},
    {"Numbers", "leading_zero", 64, "010", 10},
    {"Numbers", "trailing", 64, "12abc", 12},
    {"Numbers", "space_inside", 64, "12 34", 12},
    {"Numbers", "sign_space", 64, "- 5", 0},
    {"Numbers", "bare_prefix", 64, "0x", 0},
    {"Numbers", "big", 64, "0x99001237", 0x99001237},
    {"Numbers", "wrap", 64, "4294967297", 1},
    {"Numbers", "wrap_big", 64, "99999999999", 1215752191},
    {"Numbers", "long29", 64, "00000000000000000000000000042", 42},
    {"Numbers", "long30", 64, "000000000000000000000000000042", 4},
    {"Numbers", "quoted", 64, "12", 12},
    {"Numbers", "empty", 64, "", 77},
    {"Numbers", "text", 64, "abc", 0},
    {"", "k", 64, "DEF", 77},
};
// clang-format on

class ProfileReading : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ =
            std::filesystem::temp_directory_path() / (std::string("vg730_profile_") + info->name() +
                                                      "_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder_);
        path_ = folder_ / "index.ini";
        std::ofstream(path_, std::ios::binary) << index_file;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
    std::filesystem::path path_;
};

TEST_F(ProfileReading, OwnReaderGivesTheSystemsAnswers) {
    std::FILE* file = std::fopen(path_.string().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    for (const query& q : queries) {
        char text[64];
        const std::uint32_t n =
            flash_test::profile_string(file, q.section, q.key, "DEF", text, q.size);
        EXPECT_STREQ(text, q.text) << "[" << q.section << "] " << q.key;
        EXPECT_EQ(n, std::string(q.text).size()) << "[" << q.section << "] " << q.key;
        EXPECT_EQ(flash_test::profile_int(file, q.section, q.key, 77), q.number)
            << "[" << q.section << "] " << q.key;
    }
    std::fclose(file);
}

TEST_F(ProfileReading, MissingFileGivesTheDefaults) {
    char text[16];
    EXPECT_EQ(flash_test::profile_string(nullptr, "index", "F0", "", text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(flash_test::profile_int(nullptr, "x", "Hwr", 3), 3u);
}

#ifdef _WIN32
// The answers of the table are those of the system's profile reader.
TEST_F(ProfileReading, SystemReaderGivesTheTablesAnswers) {
    const std::string path = path_.string();
    for (const query& q : queries) {
        char text[64];
        const std::uint32_t n = flash::platform::profile_read_string(q.section, q.key, "DEF", text,
                                                                     q.size, path.c_str());
        EXPECT_STREQ(text, q.text) << "[" << q.section << "] " << q.key;
        EXPECT_EQ(n, std::string(q.text).size()) << "[" << q.section << "] " << q.key;
        EXPECT_EQ(flash::platform::profile_read_int(q.section, q.key, 77, path.c_str()), q.number)
            << "[" << q.section << "] " << q.key;
    }
}
#endif

} // namespace
