// Native: the image chosen from an index file by EAN and hardware version, in "F" order, and the
// firmware version announced from it.
#include "ProgramFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace flash_test;

// Index runs name files relative to the current directory, as a person in a command prompt does.
class IndexFile : public Program {
protected:
    void SetUp() override {
        Program::SetUp();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
        std::filesystem::create_directories("images");
        for (const char* name : {"a", "b", "c", "d"}) {
            image(std::string("images/") + name + ".img");
        }
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        Program::TearDown();
    }
    // The image a run loaded, from its "Loading image file" line.
    std::string loaded() const {
        const std::string mark = "Loading image file '";
        const std::size_t at = output.find(mark);
        if (at == std::string::npos) {
            return "";
        }
        const std::size_t from = at + mark.size();
        return output.substr(from, output.find('\'', from) - from);
    }
    // The version announced with FLASH_START.
    static std::vector<std::uint32_t> announced() {
        for (const sent_request& r : platform_state().requests) {
            if (r.control_code == flash::IOCTL_FLASH_COMMAND && r.word4 == flash::FLASH_START) {
                return {r.version_major, r.version_minor, r.version_build};
            }
        }
        return {};
    }

    std::filesystem::path previous_;
};

const char* const gateway_index =
    "[index]\n"
    "F0=Other\n"
    "F1=Hardware2\n"
    "F2=Hardware1\n"
    "F3=AnyHardware\n"
    "[Other]\nFile=images\\a.img\nEanHi=0x00073000\nEanLo=0x99002005\n"
    "[Hardware2]\nFile=images\\b.img\nEanHi=0x00073000\n"
    "EanLo=0x99001237\nHwr=2\n"
    "[Hardware1]\nFile=images\\c.img\nEanHi=0x00073000\n"
    "EanLo=0x99001237\nHwr=1\nMajorVersion=3\nMinorVersion=5\n"
    "BuildNumber=177\n"
    "[AnyHardware]\nFile=images\\d.img\nEanHi=0x00073000\n"
    "EanLo=0x99001237\n";

struct index_case {
    const char* name;
    std::string index;
    std::uint32_t hw_major;
    std::uint32_t ean_lo;
    std::vector<std::string> options;
    int exit_code;
    std::string loaded;
    std::vector<std::uint32_t> announced;
};

// clang-format off
const index_case index_cases[] = {
    {"ByEanAndHardware", gateway_index, 1, 0x99001237, {"-unattended"}, 0, "images\\c.img",
     {255, 255, 255}},
    {"OtherHardwareVersion", gateway_index, 2, 0x99001237, {"-unattended"}, 0, "images\\b.img",
     {255, 255, 255}},
    {"EntryWithoutHwrFitsAny", gateway_index, 7, 0x99001237, {"-unattended"}, 0, "images\\d.img",
     {255, 255, 255}},
    {"HardwareZeroFitsTheFirst", gateway_index, 0, 0x99001237, {"-unattended"}, 0,
     "images\\b.img", {255, 255, 255}},
    {"OtherEan", gateway_index, 1, 0x99002005, {"-unattended"}, 0, "images\\a.img",
     {255, 255, 255}},
    {"VersionFromTheEntry", gateway_index, 1, 0x99001237, {"-unattended", "-vc"}, 0,
     "images\\c.img", {3, 5, 177}},
    {"EntryWithoutVersion", gateway_index, 7, 0x99001237, {"-unattended", "-vc"}, 0,
     "images\\d.img", {0, 0, 0}},
    {"DefaultSectionFirst", std::string(gateway_index) + "[default]\nMajorVersion=2\nBuildNumber=0\n",
     1, 0x99001237, {"-unattended", "-vc"}, 0, "images\\c.img", {2, 5, 177}},
    {"NoVersionCheckReadsNoVersion", std::string(gateway_index) + "[default]\nMajorVersion=2\n", 1,
     0x99001237, {"-unattended"}, 0, "images\\c.img", {255, 255, 255}},
    {"GapEndsTheList", "[index]\nF0=Other\nF2=AnyHardware\n"
     "[Other]\nFile=images\\a.img\nEanHi=0x00073000\nEanLo=0x99002005\n"
     "[AnyHardware]\nFile=images\\d.img\nEanHi=0x00073000\nEanLo=0x99001237\n",
     1, 0x99001237, {"-unattended"}, 1, "", {}},
    {"EmptyKeyEndsTheList", "[index]\nF0=\nF1=AnyHardware\n"
     "[AnyHardware]\nFile=images\\d.img\nEanHi=0x00073000\nEanLo=0x99001237\n",
     1, 0x99001237, {"-unattended"}, 1, "", {}},
    {"DecimalEanWords", "[index]\nF0=E\n[E]\nFile=images\\a.img\nEanHi=471040\nEanLo=2566918711\n",
     1, 0x99001237, {"-unattended"}, 0, "images\\a.img", {255, 255, 255}},
};
// clang-format on

class IndexSelection : public IndexFile, public ::testing::WithParamInterface<index_case> {};

TEST_P(IndexSelection, ChoosesTheFirstFittingEntry) {
    const index_case& c = GetParam();
    Vg730Identity identity = identity_with_ean(0x00073000, c.ean_lo);
    identity.hardware_major = c.hw_major;
    identity.hardware_minor = 3;
    plug(0, identity);
    folder_.write_text("index.ini", c.index);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), {"-C0", "-index"});
    arguments.push_back("index.ini");
    EXPECT_EQ(run(arguments), c.exit_code) << output;
    EXPECT_EQ(loaded(), c.loaded);
    EXPECT_EQ(announced(), c.announced);
    if (c.exit_code != 0) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "Can't find entry for EAN=00073000%08x in index file '.\\index.ini'.\n"
                      "\nThe firmware was NOT updated.\n",
                      c.ean_lo);
        EXPECT_TRUE(output.ends_with(line)) << output;
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, IndexSelection, ::testing::ValuesIn(index_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IndexFile, MissingIndexHasNoEntries) {
    plug(0);
    EXPECT_EQ(run({"-C0", "-index", "-unattended", "absent.ini"}), 1);
    EXPECT_TRUE(output.ends_with("Can't find entry for EAN=0007300099001237 in index file "
                                 "'.\\absent.ini'.\n\nThe firmware was NOT updated.\n"))
        << output;
}

// With "-all" the version words found for the first device stay for the rest of the run.
TEST_F(IndexFile, AllDevicesKeepTheFirstVersion) {
    Vg730Identity first = identity_with_ean(0x00073000, 0x99001237);
    first.hardware_major = 1;
    plug(1, first);
    Vg730Identity second = identity_with_ean(0x00073000, 0x99002005);
    plug(4, second);
    folder_.write_text("index.ini", std::string(gateway_index) +
                                        "[Other]\nMajorVersion=9\nMinorVersion=9\nBuildNumber=9\n");
    EXPECT_EQ(run({"-all", "-index", "-vc", "-unattended", "index.ini"}), 0) << output;
    std::vector<std::vector<std::uint32_t>> starts;
    for (const sent_request& r : platform_state().requests) {
        if (r.control_code == flash::IOCTL_FLASH_COMMAND && r.word4 == flash::FLASH_START) {
            starts.push_back({r.version_major, r.version_minor, r.version_build});
        }
    }
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], (std::vector<std::uint32_t>{3, 5, 177}));
    EXPECT_EQ(starts[1], (std::vector<std::uint32_t>{3, 5, 177}));
    EXPECT_EQ(count_of(output, "Loading image file 'images\\c.img'"), 1u);
    EXPECT_EQ(count_of(output, "Loading image file 'images\\a.img'"), 1u);
}

// Two gateways of one EAN and different hardware: the first gets a tagged image, the second one
// without an EAN tag. The second image names no hardware, so it must be warned about, whatever
// the image loaded before it said.
TEST_F(IndexFile, AnImageWithoutEanNeverInheritsTheEanBeforeIt) {
    vg730::ImageSpec untagged = small();
    untagged.ean = std::nullopt;
    image("images/untagged.img", untagged);
    for (const auto& [n, hardware] : {std::pair{1, 1u}, std::pair{4, 2u}}) {
        Vg730Identity identity = identity_with_ean(0x00073000, 0x99001237);
        identity.hardware_major = hardware;
        plug(n, identity);
    }
    folder_.write_text("index.ini", "[index]\nF0=Tagged\nF1=Untagged\n"
                                    "[Tagged]\nFile=images\\a.img\nEanHi=0x00073000\n"
                                    "EanLo=0x99001237\nHwr=1\n"
                                    "[Untagged]\nFile=images\\untagged.img\nEanHi=0x00073000\n"
                                    "EanLo=0x99001237\nHwr=2\n");
    platform_state().console_attached = true;
    platform_state().console_keys = "G";
    EXPECT_EQ(run({"-all", "-index", "index.ini"}), 0) << output;

    const std::size_t second = output.find("Programming device 4...");
    ASSERT_NE(second, std::string::npos) << output;
    EXPECT_EQ(count_of(output.substr(0, second), "WARNING"), 0u) << output;
    EXPECT_NE(output.find("Loading image file 'images\\untagged.img'...OK.\n"
                          "Firmware build string:    2.05.177 emulated VG730 sample firmware\n"
                          "Target part number:       ffffffffffffffff\n",
                          second),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\nWARNING: Programming wrong firmware", second), std::string::npos)
        << output;
    EXPECT_EQ(platform_state().keys_read, 1);
    EXPECT_EQ(report(4).image_ok, 1u);
}

} // namespace
