// Windows side: the real vessa_flash.exe under Wine programming emulated gateways through the
// kernel driver: the update the updater runs, and every failing step with its exact messages.
#include "FailingSteps.h"
#include "GatewayFixture.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace flash_wine;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The update as the updater runs it, with the default image next to the programs.
TEST_F(Gateways, UpdateWithTheDefaultImage) {
    add(0);
    const std::string path = program_folder() + "vozadoror_7300099001237_nodebug.img";
    run_options options;
    options.input = input_kind::hidden;
    options.timeout_ms = 120000;
    options.working_directory = program_folder();
    const run_result r = run_flasher({"-C0", "-vc", path}, options);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.errors, "");

    // 204826 bytes (header, 200 KiB and the checksum) from a page start: 12801 requests of 16
    // bytes and one of 10 each way, so 201 marks a phase.
    const std::vector<std::string> expected = {
        "",
        "Firmware programmer - USB CAN interfaces, (c) Tolvak-Quorvel",
        "Serial Number:            0001234",
        "Hardware version:         1.0",
        "Current Firmware Version: 2.05.176",
        "Hardware type:            N/A (P/N 0007300099001237))",
        "",
        "Loading image file '" + path + "'...OK.",
        "Firmware build string:    2.05.177 emulated VG730 sample firmware",
        "Target part number:       0007300099001237",
        "Description:              VG730 sample firmware for the emulated gateway",
        "Erasing...",
        "Download started: " + std::string(201, '#'),
        "Download complete (<rate> bytes/s, total 204826 bytes).",
        "Starting compare: " + std::string(201, '#'),
        "Compare finished (<rate> bytes/s, total 204826 bytes).",
    };
    const std::vector<std::string> seen = lines_of(without_rates(r.output));
    ASSERT_EQ(seen.size(), expected.size()) << r.output;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i], expected[i]) << "line " << i + 1;
    }
    // Four banks to check before the data.
    const Vg730Report after = report(0);
    EXPECT_EQ(after.flash_length, 204826u);
    EXPECT_EQ(after.requests[VG730_REQ_DOWNLOAD], 4u + 12802);
    EXPECT_EQ(after.requests[VG730_REQ_UPLOAD], 12802u);

    // The gateway restarts and then runs the image's version.
    const Vg730Report now = settled(0);
    EXPECT_EQ(now.presence, VG730_PRESENT);
    EXPECT_EQ(now.image_ok, 1u);
    EXPECT_EQ(vg730emu::FormatFirmware(now.identity.firmware), "2.05.177");
    EXPECT_EQ(vg730emu::FormatFirmware(now.start_version), "0.00.0");
    EXPECT_EQ(now.exclusive_opens + now.info_opens, 0u);
}

using flash_cases::compare_difference;
using flash_cases::failing_step;

// The failure paths: the steps after the image lines, then the ending.
class FailingStep : public Gateways, public ::testing::WithParamInterface<failing_step> {};

TEST_P(FailingStep, MessageEndingAndExitCode) {
    const failing_step& c = GetParam();
    add(3);
    for (const Vg730Fault& f : c.faults) {
        control().SetFault(3, f);
    }
    const run_result r = run_flasher({"-C3", image("fw.img")});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1);
    const std::string out = without_rates(r.output);
    const std::size_t description = out.find("Description:");
    ASSERT_NE(description, std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find('\n', description) + 1), c.steps + not_updated);
    // The device's work is ended after a failure as after success.
    EXPECT_EQ(vg730emu::FormatFirmware(report(3).end_version), "0.00.0");
    EXPECT_EQ(report(3).exclusive_opens, 0u);
}

INSTANTIATE_TEST_SUITE_P(Steps, FailingStep, ::testing::ValuesIn(flash_cases::failing_steps),
                         [](const auto& info) { return std::string(info.param.name); });

class CompareDifferences : public Gateways,
                           public ::testing::WithParamInterface<compare_difference> {};

TEST_P(CompareDifferences, CountedPerChunk) {
    const compare_difference& c = GetParam();
    add(2);
    control().SetFault(2, corrupt(0x10000, c.corrupted_chunks * 16));
    const run_result r = run_flasher({"-C2", image("fw.img", small(6026))});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1);
    const std::string out = without_rates(r.output);
    ASSERT_NE(out.find("Starting compare: "), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find("Starting compare: ")), c.compare + not_updated);
}

INSTANTIATE_TEST_SUITE_P(Compare, CompareDifferences,
                         ::testing::ValuesIn(flash_cases::compare_differences),
                         [](const auto& info) { return std::string(info.param.name); });

// Image files that cannot be used: nothing is sent to the device after them.
struct image_case {
    const char* name;
    std::string (*make)(Gateways&, const std::filesystem::path&);
    int r;
    std::string message;
};

std::string write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path.string();
}

std::vector<std::uint8_t> header_claiming(std::uint32_t size) {
    std::vector<std::uint8_t> header(24, 0);
    header[6] = 0x01;
    std::memcpy(header.data() + 8, &size, 4);
    const std::uint16_t crc = vg730_crc16_kermit(header.data(), 22); // byte 0 is 0: no reversal
    header[22] = static_cast<std::uint8_t>(crc);
    header[23] = static_cast<std::uint8_t>(crc >> 8);
    return header;
}

// clang-format off
const image_case image_cases[] = {
    {"Missing", [](Gateways&, const std::filesystem::path& p) { return (p / "absent.img").string(); },
     -1, "Error: Unable to open file '<path>'\n"},
    {"Empty", [](Gateways&, const std::filesystem::path& p) { return write_bytes(p / "e.img", {}); },
     -2, "ERROR, no data read.\n"},
    {"HeaderCutShort", [](Gateways&, const std::filesystem::path& p) {
         auto b = vg730::BuildImage(Gateways::small()); b.resize(10); return write_bytes(p / "h.img", b); },
     -6, "ERROR: The file ends inside the header (10 of 24 bytes). Corrupt file. \n"},
    {"HeaderChecksum", [](Gateways&, const std::filesystem::path& p) {
         auto s = Gateways::small(); s.bad_header_checksum = true;
         return write_bytes(p / "c.img", vg730::BuildImage(s)); },
     -3, "ERROR: Header checksum not correct. Corrupt file. \n"},
    {"DataChecksum", [](Gateways&, const std::filesystem::path& p) {
         auto s = Gateways::small(); s.bad_data_checksum = true;
         return write_bytes(p / "d.img", vg730::BuildImage(s)); },
     -5, "ERROR: Binary checksum not correct. Corrupt file. <crc>\n"},
    {"TooLarge", [](Gateways&, const std::filesystem::path& p) {
         return write_bytes(p / "l.img", header_claiming(2000000)); },
     -7, "ERROR: Image too large (2000000 data bytes; header, data and checksum must fit in "
         "1048576 bytes). \n"},
};
// clang-format on

class BadImage : public Gateways, public ::testing::WithParamInterface<image_case> {};

TEST_P(BadImage, RefusedBeforeAnythingIsSent) {
    const image_case& c = GetParam();
    add(1);
    const std::string path = c.make(*this, folder_->path());
    std::string message = c.message;
    if (const auto at = message.find("<path>"); at != std::string::npos) {
        message.replace(at, 6, path);
    }
    if (const auto at = message.find("<crc>"); at != std::string::npos) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        message.replace(at, 5,
                        std::to_string(vg730_crc16_kermit(bytes.data() + 24, bytes.size() - 24)));
    }
    const run_result r = run_flasher({"-C1", "-vc", path});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.output.ends_with("\nLoading image file '" + path + "'..." + message +
                                   "Error: Unable to open file '" + path +
                                   "' (r=" + std::to_string(c.r) + ")\n" + not_updated))
        << r.output;
    EXPECT_EQ(report(1).requests[VG730_REQ_FLASH_COMMAND], 1u) << "only FLASH_END";
    EXPECT_EQ(report(1).requests[VG730_REQ_DOWNLOAD], 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, BadImage, ::testing::ValuesIn(image_cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
