// Native: the image loader, its two checksums and the tag scan, on files written by the
// emulator's image writer (an implementation of the layout of its own).
#include "NativePlatform.h"
#include "TestFolder.h"
#include "image.h"

#include "ImageWriter.h"
#include "Vg730Crc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using flash_test::captured_output;

std::uint16_t kermit(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
    return vg730_crc16_kermit(bytes.data() + from, to - from);
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::uint8_t image_buffer[flash::image_buffer_size]; // 1 MiB: static, not on the stack

class ImageFiles : public ::testing::Test {
protected:
    // Every test loads into a fresh image, its buffer zero as in a new process.
    void SetUp() override {
        flash_test::reset_platform();
        flash::settings = {};
        std::memset(image_buffer, 0, sizeof image_buffer);
    }

    std::string write(const std::vector<std::uint8_t>& bytes, const char* name = "test.img") {
        const fs::path path = folder_.path() / name;
        write_file(path, bytes);
        return path.string();
    }
    std::string write(const vg730::ImageSpec& spec) { return write(vg730::BuildImage(spec)); }

    flash::loaded_image image_{image_buffer};
    const flash::image_layout& layout = image_.layout;
    flash_test::test_folder folder_;
};

vg730::ImageSpec small_image() {
    vg730::ImageSpec spec;
    spec.size = 1000;
    spec.load_addr = 0x1FE8;
    spec.run_addr = 0x2100;
    return spec;
}

TEST(Crc16, KermitCheckValue) {
    const char* text = "123456789";
    std::uint16_t crc = 0;
    std::uint16_t result = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        result = flash::crc16_update(crc, static_cast<std::uint8_t>(*p), true);
    }
    EXPECT_EQ(result, 0x2189);
    // Followed by its checksum, low byte first, the result is 0.
    flash::crc16_update(crc, 0x89, true);
    EXPECT_EQ(flash::crc16_update(crc, 0x21, true), 0);
}

TEST(Crc16, PlainStepIsCrcCcittMsbFirst) {
    // CRC-16/XMODEM (0x1021, not reflected, initial 0) of "123456789" is 0x31C3.
    std::uint16_t crc = 0;
    std::uint16_t result = 0;
    for (const char* p = "123456789"; *p != '\0'; ++p) {
        result = flash::crc16_update(crc, static_cast<std::uint8_t>(*p), false);
    }
    EXPECT_EQ(result, 0x31C3);
}

TEST_F(ImageFiles, GoodImageLoadsWithItsLayout) {
    const vg730::ImageSpec spec = small_image();
    const std::vector<std::uint8_t> bytes = vg730::BuildImage(spec);
    ASSERT_EQ(flash::load_image(write(bytes).c_str(), image_), 0);
    EXPECT_EQ(layout.length, 24u + 1000 + 2);
    EXPECT_EQ(layout.load_addr, 0x1FE8u);
    EXPECT_EQ(layout.run_addr, 0x2100u);
    EXPECT_EQ(std::memcmp(image_.bytes, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(captured_output(), "");
}

TEST_F(ImageFiles, NoChecksumKeepsTheTwoChecksumBytesOnTheHost) {
    flash::settings.no_checksum = 1;
    ASSERT_EQ(flash::load_image(write(small_image()).c_str(), image_), 0);
    EXPECT_EQ(layout.length, 24u + 1000);
}

TEST_F(ImageFiles, BytesAfterTheChecksumAreNotRead) {
    vg730::ImageSpec spec = small_image();
    spec.extra_bytes = 100;
    ASSERT_EQ(flash::load_image(write(spec).c_str(), image_), 0);
    EXPECT_EQ(layout.length, 24u + 1000 + 2);
    EXPECT_EQ(image_.bytes[24 + 1000 + 2], 0) << "nothing behind the checksum is loaded";
}

struct failure_case {
    const char* name;
    std::vector<std::uint8_t> (*bytes)();
    int result;
    std::string message; // "" : computed by the test
};

std::vector<std::uint8_t> empty_file() {
    return {};
}
std::vector<std::uint8_t> one_byte() {
    return {0x42};
}
std::vector<std::uint8_t> twenty_three_bytes() {
    auto bytes = vg730::BuildImage(small_image());
    bytes.resize(23);
    return bytes;
}
std::vector<std::uint8_t> bad_header() {
    vg730::ImageSpec spec = small_image();
    spec.bad_header_checksum = true;
    return vg730::BuildImage(spec);
}
// A header with a good checksum that claims more data than the buffer holds.
std::vector<std::uint8_t> header_claiming(std::uint32_t size) {
    std::vector<std::uint8_t> header(24, 0);
    header[4] = 0x00; // data_addr 0x10000
    header[6] = 0x01;
    std::memcpy(header.data() + 8, &size, 4);
    // The checksum in the last two bytes, computed with byte 0 reflected as the reader does.
    std::vector<std::uint8_t> plain = header;
    plain[0] = vg730_reverse_bits(plain[0]);
    const std::uint16_t check = kermit(plain, 0, 22);
    header[22] = static_cast<std::uint8_t>(check);
    header[23] = static_cast<std::uint8_t>(check >> 8);
    return header;
}
std::vector<std::uint8_t> oversize() {
    return header_claiming(1048576 - 26 + 1);
}
std::vector<std::uint8_t> huge_size() {
    return header_claiming(0xFFFFFFF0u);
}

// clang-format off
const failure_case failure_cases[] = {
    {"EmptyFile", empty_file, -2, "ERROR, no data read.\n"},
    {"OneByte", one_byte, -6,
     "ERROR: The file ends inside the header (1 of 24 bytes). Corrupt file. \n"},
    {"HeaderCutShort", twenty_three_bytes, -6,
     "ERROR: The file ends inside the header (23 of 24 bytes). Corrupt file. \n"},
    {"HeaderChecksum", bad_header, -3, "ERROR: Header checksum not correct. Corrupt file. \n"},
    {"DataTooLargeForTheBuffer", oversize, -7,
     "ERROR: Image too large (1048551 data bytes; header, data and checksum must fit in 1048576 "
     "bytes). \n"},
    {"SizeNearFourGiB", huge_size, -7,
     "ERROR: Image too large (4294967280 data bytes; header, data and checksum must fit in "
     "1048576 bytes). \n"},
};
// clang-format on

class LoadFailure : public ImageFiles, public ::testing::WithParamInterface<failure_case> {};

TEST_P(LoadFailure, RefusedWithItsMessage) {
    const failure_case& c = GetParam();
    const std::string path = write(c.bytes());
    EXPECT_EQ(flash::load_image(path.c_str(), image_), c.result);
    EXPECT_EQ(captured_output(), c.message);
    // The caller's line follows on the same line as the announcement.
    flash_test::reset_platform();
    EXPECT_EQ(flash::prepare_image(path.c_str(), image_), -1);
    EXPECT_EQ(captured_output(), "Loading image file '" + path + "'..." + c.message +
                                     "Error: Unable to open file '" + path +
                                     "' (r=" + std::to_string(c.result) + ")\n");
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailure, ::testing::ValuesIn(failure_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageFiles, MissingFile) {
    const std::string path = (folder_.path() / "absent.img").string();
    EXPECT_EQ(flash::load_image(path.c_str(), image_), -1);
    EXPECT_EQ(captured_output(), "Error: Unable to open file '" + path + "'\n");
}

TEST_F(ImageFiles, DataChecksumReportsTheRegisterInDecimal) {
    vg730::ImageSpec spec = small_image();
    spec.bad_data_checksum = true;
    const std::vector<std::uint8_t> bytes = vg730::BuildImage(spec);
    EXPECT_EQ(flash::load_image(write(bytes).c_str(), image_), -5);
    const std::uint16_t expected = kermit(bytes, 24, 24 + 1000 + 2);
    ASSERT_NE(expected, 0);
    EXPECT_EQ(captured_output(), "ERROR: Binary checksum not correct. Corrupt file. " +
                                     std::to_string(expected) + "\n");
}

TEST_F(ImageFiles, FileCutInsideTheDataReadsTheRestAsErased) {
    std::vector<std::uint8_t> bytes = vg730::BuildImage(small_image());
    bytes.resize(24 + 500);
    EXPECT_EQ(flash::load_image(write(bytes).c_str(), image_), -5);
    std::vector<std::uint8_t> as_read = bytes;
    as_read.resize(24 + 1000 + 2, 0xFF);
    EXPECT_EQ(std::memcmp(image_.bytes, as_read.data(), as_read.size()), 0);
    EXPECT_EQ(captured_output(), "ERROR: Binary checksum not correct. Corrupt file. " +
                                     std::to_string(kermit(as_read, 24, as_read.size())) + "\n");
}

TEST_F(ImageFiles, LargestImageThatFitsTheBuffer) {
    vg730::ImageSpec spec = small_image();
    spec.size = 1048576 - 26;
    ASSERT_EQ(flash::load_image(write(spec).c_str(), image_), 0);
    EXPECT_EQ(layout.length, 1048576u);
}

// Byte 0 enters the header checksum unreflected: a header whose plain KERMIT CRC is 0 passes
// only when byte 0 reads the same with its bits reversed (0x42 is 01000010, 0x37 is 00110111).
struct header_byte_case {
    std::uint8_t byte0;
    int result;
};

class HeaderByteZero : public ImageFiles, public ::testing::WithParamInterface<header_byte_case> {};

TEST_P(HeaderByteZero, PassesOnlyWhenBitReversalKeepsIt) {
    std::vector<std::uint8_t> bytes = vg730::BuildImage(small_image());
    bytes[0] = GetParam().byte0;
    const std::uint16_t check = kermit(bytes, 0, 22);
    bytes[22] = static_cast<std::uint8_t>(check);
    bytes[23] = static_cast<std::uint8_t>(check >> 8);
    ASSERT_EQ(kermit(bytes, 0, 24), 0);
    EXPECT_EQ(flash::load_image(write(bytes).c_str(), image_), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Bytes, HeaderByteZero,
                         ::testing::Values(header_byte_case{0x00, 0}, header_byte_case{0x18, 0},
                                           header_byte_case{0x81, 0}, header_byte_case{0xFF, 0},
                                           header_byte_case{0x42, 0}, header_byte_case{0x3C, 0},
                                           header_byte_case{0x01, -3}, header_byte_case{0x80, -3},
                                           header_byte_case{0x0F, -3}, header_byte_case{0x37, -3}),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Byte%02X", info.param.byte0);
                             return std::string(name);
                         });

// The tag scan, over data written verbatim.
struct tag_case {
    const char* name;
    std::string data;
    std::int64_t scan_end; // bytes of data scanned (header and data offsets); -1: all
    std::string build, ean, description;
};

std::string z(const std::string& s) {
    return s + std::string(1, '\0');
}

// clang-format off
const tag_case tag_cases[] = {
    {"AllThree", z("$$$BUILD=2.05.177") + z("$$$EAN=0007300099001237") + z("$$$DESCR=VG730"), -1,
     "2.05.177", "0007300099001237", "VG730"},
    {"NoTags", "plain data without any tag", -1, "(null)", "ffffffffffffffff", "(null)"},
    {"LaterTagReplacesEarlier", z("$$$BUILD=1.0") + z("$$$BUILD=2.0") + z("$$$EAN=0007300099002005") +
     z("$$$EAN=0007300099001237"), -1, "2.0", "0007300099001237", "(null)"},
    {"EanOnlyGivesNullTexts", z("xx$$$EAN=0007300099003105"), -1, "(null)", "0007300099003105",
     "(null)"},
    {"FourDollars", z("$$$$BUILD=4"), -1, "4", "ffffffffffffffff", "(null)"},
    {"TagRightAfterTag", z("$$$BUILD=$$$EAN=0007300099001237"), -1, "$$$EAN=0007300099001237",
     "0007300099001237", "(null)"},
    {"TagCutByScanEnd", z("$$$BUILD=1.0") + "$$$DESCR=abc", 12 + 8, "1.0", "ffffffffffffffff",
     "(null)"},
    {"TextEndsAtScanEnd", "$$$DESCR=abcdefgh", 9 + 3, "(null)", "ffffffffffffffff", "abc"},
    {"EanCutByScanEnd", "$$$EAN=00073000991", 7 + 11, "(null)", "0007300000000991", "(null)"},
    {"EanWithoutLoWord", "$$$EAN=00073000", 7 + 8, "(null)", "00073000ffffffff", "(null)"},
    {"EanNotHexLeavesThatWord", z("$$$EAN=zzzzzzzz99001237"), -1, "(null)", "ffffffff99001237",
     "(null)"},
};
// clang-format on

class TagScan : public ImageFiles, public ::testing::WithParamInterface<tag_case> {};

TEST_P(TagScan, PrintsWhatTheScannedBytesHold) {
    const tag_case& c = GetParam();
    vg730::ImageSpec spec = small_image();
    std::vector<std::uint8_t> data(c.data.begin(), c.data.end());
    data.resize(std::max<std::size_t>(data.size(), 64), 0x20);
    spec.data = data;
    ASSERT_EQ(flash::load_image(write(spec).c_str(), image_), 0);
    flash::describe_image(image_, c.scan_end < 0 ? layout.length
                                                 : 24 + static_cast<std::uint32_t>(c.scan_end));
    EXPECT_EQ(captured_output(), "Firmware build string:    " + c.build +
                                     "\nTarget part number:       " + c.ean +
                                     "\nDescription:              " + c.description + "\n");
}

INSTANTIATE_TEST_SUITE_P(Data, TagScan, ::testing::ValuesIn(tag_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// An image without a tag has no EAN, whatever the image loaded before it had.
TEST_F(ImageFiles, EanOfAnEarlierImageIsNotKept) {
    vg730::ImageSpec first = small_image();
    first.ean = "0007300099003129";
    vg730::ImageSpec second = small_image();
    second.ean.reset();
    ASSERT_EQ(flash::prepare_image(write(vg730::BuildImage(first), "a.img").c_str(), image_), 0);
    ASSERT_EQ(flash::prepare_image(write(vg730::BuildImage(second), "b.img").c_str(), image_), 0);
    EXPECT_EQ(image_.ean, (flash::ean_words{0xFFFFFFFF, 0xFFFFFFFF}));
}

TEST_F(ImageFiles, PrepareReportsTheImage) {
    vg730::ImageSpec spec = small_image();
    spec.build = "2.05.177 test";
    spec.description = "small";
    const std::string path = write(spec);
    flash::settings.verbose = 1;
    flash::settings.no_checksum = 1;
    ASSERT_EQ(flash::prepare_image(path.c_str(), image_), 0);
    EXPECT_EQ(captured_output(), "Loading image file '" + path +
                                     "'...Binary data: size=998, run_addr=0x2100, "
                                     "load_addr=0x1fe8\nOK.\n"
                                     "Firmware build string:    2.05.177 test\n"
                                     "Target part number:       0007300099001237\n"
                                     "Description:              small\n");
}

} // namespace
