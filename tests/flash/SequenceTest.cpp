// Native: the programming sequence against the emulated device model: the address and chunk
// rules, the erase checks, the progress marks and rates, and every failing step with its message.
#include "DeviceFaults.h"
#include "FailingSteps.h"
#include "NativePlatform.h"
#include "TestFolder.h"
#include "driver.h"
#include "identity.h"
#include "image.h"
#include "sequence.h"

#include "ImageWriter.h"
#include "Vg730Device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using flash_test::platform_state;
using flash_test::sent_request;

Vg730Device device;                                  // 1 MiB of flash: static, not on the stack
std::uint8_t image_buffer[flash::image_buffer_size]; // likewise

std::vector<sent_request> requests_of(std::uint32_t code) {
    std::vector<sent_request> found;
    for (const sent_request& r : platform_state().requests) {
        if (r.control_code == code) {
            found.push_back(r);
        }
    }
    return found;
}

std::size_t count(const std::string& text, char c) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

class Programming : public ::testing::Test {
protected:
    void SetUp() override {
        flash_test::reset_platform();
        flash::settings = {};
        Vg730Identity identity;
        vg730_identity_default(&identity, 0);
        vg730_device_init(&device, 0, &identity);
        platform_state().devices[0] = &device;
        ASSERT_EQ(flash::identify_device(0, card_), 0); // the image's EAN then matches: no prompt
    }
    void TearDown() override { handle_.reset(); }

    vg730::ImageSpec image(std::uint32_t load_addr, std::uint32_t length) {
        vg730::ImageSpec spec;
        spec.load_addr = load_addr;
        spec.size = length - 26;
        spec.run_addr = load_addr + 0x100;
        return spec;
    }

    // Runs the sequence on the exclusive handle; the output from its start is kept in output.
    int program(const vg730::ImageSpec& spec) {
        const std::string path = folder_.write("image.img", vg730::BuildImage(spec));
        std::uint32_t error = 0;
        handle_ = flash::open_device(0, true, error);
        EXPECT_TRUE(handle_.valid());
        const std::size_t before = flash_test::captured_output().size();
        platform_state().requests.clear();
        int r = 0;
        try {
            r = flash::program_device(handle_.get(), path.c_str(), card_.card_ean, image_);
        } catch (const flash_test::process_exit& e) {
            r = 1000 + e.code;
        }
        output = flash_test::captured_output().substr(before);
        // What follows the image lines.
        const std::size_t description = output.find("Description:");
        steps = description == std::string::npos
                    ? output
                    : output.substr(output.find('\n', description) + 1);
        return r;
    }

    void add_fault(Vg730Fault fault) {
        ASSERT_EQ(vg730_device_add_fault(&device, &fault), VG730_OK);
    }

    flash::card_identity card_;
    flash::unique_device handle_;
    flash::loaded_image image_{image_buffer};
    flash_test::test_folder folder_;
    std::string output;
    std::string steps;
};

// Load address 0x1FE8 and 0x12345 bytes: a first chunk that ends short of a page end, and two
// banks to check.
TEST_F(Programming, AddressesChunksAndEraseChecks) {
    ASSERT_EQ(program(image(0x1FE8, 0x12345)), 0) << output;

    const auto downloads = requests_of(flash::IOCTL_DOWNLOAD);
    ASSERT_GE(downloads.size(), 6u);
    // Erase checks: a zero-length download to the end of each bank the image touches.
    EXPECT_EQ(downloads[0].length, 0u);
    EXPECT_EQ(downloads[0].address, 0xFFFEu);
    EXPECT_EQ(downloads[1].length, 0u);
    EXPECT_EQ(downloads[1].address, 0x1FFFEu);
    // Then the data, split at the first page end.
    const std::pair<std::uint32_t, std::uint32_t> first[] = {
        {0x1FE8, 16}, {0x1FF8, 8}, {0x2000, 16}, {0x2010, 16}};
    for (std::size_t i = 0; i < std::size(first); ++i) {
        EXPECT_EQ(downloads[2 + i].address, first[i].first) << i;
        EXPECT_EQ(downloads[2 + i].length, first[i].second) << i;
    }
    std::uint32_t next = 0x1FE8;
    for (std::size_t i = 2; i < downloads.size(); ++i) {
        const sent_request& d = downloads[i];
        ASSERT_EQ(d.address, next) << i;
        ASSERT_GE(d.length, 1u);
        ASSERT_LE(d.length, 16u);
        ASSERT_EQ(d.address / 256, (d.address + d.length - 1) / 256) << "crosses a page at " << i;
        next += d.length;
    }
    EXPECT_EQ(next, 0x1FE8u + 0x12345);
    EXPECT_EQ(downloads.back().length, (0x12345u - 16 - 8) % 16);

    // The compare reads back in plain chunks of 16 from the load address: 4660 of 16 bytes and
    // one of the 5 bytes left of 0x12345.
    const auto uploads = requests_of(flash::IOCTL_UPLOAD);
    ASSERT_EQ(uploads.size(), 4661u);
    for (std::size_t i = 0; i + 1 < uploads.size(); ++i) {
        ASSERT_EQ(uploads[i].address, 0x1FE8u + 16 * i);
        ASSERT_EQ(uploads[i].length, 16u);
    }
    EXPECT_EQ(uploads.back().length, 5u);

    // The flash commands in their order, each announcing the target version.
    const auto commands = requests_of(flash::IOCTL_FLASH_COMMAND);
    ASSERT_EQ(commands.size(), 4u);
    const std::uint32_t order[] = {flash::FLASH_START, flash::FLASH_ERASE, flash::FLASH_WRITE_MODE,
                                   flash::FLASH_READ_MODE};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(commands[i].word4, order[i]);
        EXPECT_EQ(commands[i].version_major, 255u);
        EXPECT_EQ(commands[i].version_minor, 255u);
        EXPECT_EQ(commands[i].version_build, 255u);
    }

    // One mark before each 64th request of a phase: 4661 data downloads (16 and 8 bytes up to the
    // first page end, 4658 of 16, 13 left) and 4661 uploads each make 73 marks.
    EXPECT_EQ(downloads.size(), 2u + 4661);
    const std::string download_line = steps.substr(0, steps.find("\nDownload complete"));
    const std::string compare_line =
        steps.substr(steps.find("Starting compare: "),
                     steps.find("\nCompare finished") - steps.find("Starting compare: "));
    EXPECT_EQ(count(download_line, '#'), 73u);
    EXPECT_EQ(count(compare_line, '#'), 73u);

    // After FLASH_END the device checks what it received and runs it.
    flash::end_device_work(handle_);
    Vg730Report report;
    vg730_device_report(&device, platform_state().clock_ms, &report);
    EXPECT_EQ(report.image_ok, 1u);
}

// 4096 bytes from a page start: 256 downloads and 256 uploads of 16 bytes, 2 ms each on the
// virtual clock, so each phase takes 512 ms (8000 bytes/s) and shows 4 marks.
TEST_F(Programming, RatesFromTheClock) {
    platform_state().ms_per_request = 2;
    ASSERT_EQ(program(image(0x10000, 4096)), 0) << output;
    EXPECT_EQ(requests_of(flash::IOCTL_DOWNLOAD).size(), 1u + 256);
    EXPECT_EQ(requests_of(flash::IOCTL_UPLOAD).size(), 256u);
    EXPECT_EQ(steps, "Erasing...\nDownload started: ####\nDownload complete (8000 bytes/s, total "
                     "4096 bytes).\nStarting compare: ####\nCompare finished (8000 bytes/s, total "
                     "4096 bytes).\n");
}

TEST_F(Programming, PhaseWithinOneMillisecond) {
    ASSERT_EQ(program(image(0x10000, 1000)), 0);
    EXPECT_NE(steps.find("\nDownload complete (1000000 bytes/s, total 1000 bytes).\n"),
              std::string::npos)
        << steps;
    EXPECT_NE(steps.find("\nCompare finished (1000000 bytes/s, total 1000 bytes).\n"),
              std::string::npos)
        << steps;
}

TEST_F(Programming, NoChecksumDownloadsTwoBytesFewer) {
    flash::settings.no_checksum = 1;
    ASSERT_EQ(program(image(0x10000, 1026)), 0);
    std::uint32_t bytes = 0;
    for (const sent_request& d : requests_of(flash::IOCTL_DOWNLOAD)) {
        bytes += d.length;
    }
    EXPECT_EQ(bytes, 1024u);
}

TEST_F(Programming, AnnouncesTheTargetVersion) {
    flash::settings.target_version = {3, 5, 177};
    ASSERT_EQ(program(image(0x10000, 1000)), 0);
    std::vector<std::vector<std::uint32_t>> announced;
    for (const sent_request& c : requests_of(flash::IOCTL_FLASH_COMMAND)) {
        announced.push_back({c.word4, c.version_major, c.version_minor, c.version_build});
    }
    EXPECT_EQ(announced,
              (std::vector<std::vector<std::uint32_t>>{{flash::FLASH_START, 3, 5, 177},
                                                       {flash::FLASH_ERASE, 3, 5, 177},
                                                       {flash::FLASH_WRITE_MODE, 3, 5, 177},
                                                       {flash::FLASH_READ_MODE, 3, 5, 177}}));
}

using flash_cases::compare_difference;
using flash_cases::failing_step;
using flash_cases::with_rate;

class FailingStep : public Programming, public ::testing::WithParamInterface<failing_step> {};

// The model's clock stands still: every phase counts as one millisecond.
TEST_P(FailingStep, EndsTheSequenceWithItsMessage) {
    const failing_step& c = GetParam();
    for (const Vg730Fault& fault : c.faults) {
        add_fault(fault);
    }
    EXPECT_EQ(program(image(0x10000, 1026)), -1);
    EXPECT_EQ(steps, with_rate(c.steps, "1026000"));
    EXPECT_EQ(requests_of(flash::IOCTL_UPLOAD).size(), c.uploads);
}

INSTANTIATE_TEST_SUITE_P(Steps, FailingStep, ::testing::ValuesIn(flash_cases::failing_steps),
                         [](const auto& info) { return std::string(info.param.name); });

class Differences : public Programming, public ::testing::WithParamInterface<compare_difference> {};

TEST_P(Differences, AreCountedPerChunk) {
    const compare_difference& c = GetParam();
    add_fault(flash_faults::corrupt(0x10000, c.corrupted_chunks * 16));
    EXPECT_EQ(program(image(0x10000, 6026)), -1);
    EXPECT_EQ(steps.substr(steps.find("Starting compare: ")), with_rate(c.compare, "6026000"));
    EXPECT_EQ(requests_of(flash::IOCTL_UPLOAD).size(), c.uploads);
}

INSTANTIATE_TEST_SUITE_P(Compare, Differences,
                         ::testing::ValuesIn(flash_cases::compare_differences),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Programming, ImageFailureSendsNothing) {
    vg730::ImageSpec spec = image(0x10000, 1026);
    spec.bad_data_checksum = true;
    EXPECT_EQ(program(spec), -1);
    EXPECT_TRUE(platform_state().requests.empty());
}

TEST_F(Programming, DeclinedWarningSendsNothing) {
    vg730::ImageSpec spec = image(0x10000, 1026);
    spec.ean = "0007300099002005";
    platform_state().console_attached = true;
    platform_state().console_keys = "n";
    EXPECT_EQ(program(spec), flash::program_declined);
    EXPECT_TRUE(platform_state().requests.empty());
}

} // namespace
