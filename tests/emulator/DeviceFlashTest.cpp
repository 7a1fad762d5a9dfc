// Portable: the flash of the device model (erase, write, read back), the order of the flash
// commands and the erase check.
#include "ModelClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t START = VG730_FLASH_START, ERASE = VG730_FLASH_ERASE,
                        WRITE = VG730_FLASH_WRITE_MODE, READ = VG730_FLASH_READ_MODE,
                        END = VG730_FLASH_END;
constexpr std::int32_t BAD = VG730_STATUS_BAD_STATE;

// A device in write mode after an erase; ReadBack goes on to read mode, as programming does.
class FlashTest : public testing::Test {
protected:
    void SetUp() override { StartWriting(); }
    void StartWriting() {
        ASSERT_EQ(client.Command(START).status, 0);
        ASSERT_EQ(client.Command(ERASE).status, 0);
        ASSERT_EQ(client.Command(WRITE).status, 0);
        reading = false;
    }
    std::vector<std::uint8_t> ReadBack(std::uint32_t address, std::uint32_t length) {
        if (!reading) {
            EXPECT_EQ(client.Command(READ).status, 0);
            reading = true;
        }
        const UploadAnswer answer = client.Upload(address, length);
        EXPECT_EQ(answer.result, VG730_OK);
        EXPECT_EQ(answer.status, 0);
        return answer.data;
    }
    // Ends programming and waits for the restart.
    void End() {
        ASSERT_EQ(client.Command(END).status, 0);
        client.now += VG730_DEFAULT_RESTART_MS;
    }
    ModelClient client;
    bool reading = false;
};

TEST_F(FlashTest, WrittenBytesReadBack) {
    const std::vector<std::uint8_t> data = {0x00, 0x12, 0x7F, 0x80, 0xA5, 0x5A, 0xFE, 0x01,
                                            0x33, 0xCC, 0x0F, 0xF0, 0x69, 0x96, 0x11, 0xEE};
    ASSERT_EQ(client.Download(0x20010, data).status, 0);
    EXPECT_EQ(ReadBack(0x20010, 16), data);
    // Around the written bytes the flash is still erased.
    EXPECT_EQ(ReadBack(0x20000, 16), std::vector<std::uint8_t>(16, 0xFF));
    EXPECT_EQ(ReadBack(0x20020, 3), std::vector<std::uint8_t>(3, 0xFF));
}

TEST_F(FlashTest, WritingCanOnlyClearBits) {
    ASSERT_EQ(client.Download(0x3000, {0xF0, 0x0F, 0xAA}).status, 0);
    // The same bytes again clear nothing new: accepted.
    EXPECT_EQ(client.Download(0x3000, {0xF0, 0x0F, 0xAA}).status, 0);
    // Clearing further bits of written bytes works, as on real flash.
    EXPECT_EQ(client.Download(0x3000, {0xC0, 0x0F, 0xAA}).status, 0);
    // Setting a cleared bit cannot work: the write fails and the cell holds the AND.
    const Answer answer = client.Download(0x3000, {0x3F, 0xFF, 0xAA});
    EXPECT_EQ(answer.result, VG730_OK);
    EXPECT_EQ(answer.status, VG730_STATUS_PROGRAM_FAILED);
    EXPECT_EQ(ReadBack(0x3000, 3), (std::vector<std::uint8_t>{0x00, 0x0F, 0xAA}));
}

TEST_F(FlashTest, EraseSetsEveryByteBackToFF) {
    ASSERT_EQ(client.Download(0x0, {0x00, 0x00}).status, 0);
    ASSERT_EQ(client.Download(0xFFFF0, std::vector<std::uint8_t>(16, 0x00)).status, 0);
    End();
    StartWriting();
    // Erased again, the bytes can be written with new values.
    EXPECT_EQ(client.Download(0x0, {0x5A, 0xA5}).status, 0);
    EXPECT_EQ(ReadBack(0x0, 2), (std::vector<std::uint8_t>{0x5A, 0xA5}));
    EXPECT_EQ(ReadBack(0x2, 2), std::vector<std::uint8_t>(2, 0xFF));
    EXPECT_EQ(ReadBack(0xFFFF0, 16), std::vector<std::uint8_t>(16, 0xFF));
}

struct TransferCase {
    const char* name;
    std::uint32_t address, length;
    std::int32_t status;
};

class DownloadRangeTest : public FlashTest, public testing::WithParamInterface<TransferCase> {};

TEST_P(DownloadRangeTest, RangeLengthAndPageRules) {
    const TransferCase& c = GetParam();
    const std::vector<std::uint8_t> data(16, 0x42);
    const Answer answer = client.Download(c.address, data.data(), c.length);
    EXPECT_EQ(answer.result, VG730_OK);
    EXPECT_EQ(answer.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, DownloadRangeTest,
    testing::Values(TransferCase{"FirstByte", 0x0, 16, 0},
                    TransferCase{"LastBytesOfFlash", 0xFFFF0, 16, 0},
                    TransferCase{"EndsAtPageEnd", 0x1FF8, 8, 0},
                    TransferCase{"CrossesPage", 0x1FF8, 9, VG730_STATUS_PAGE_CROSSING},
                    TransferCase{"CrossesBank", 0xFFF8, 16, VG730_STATUS_PAGE_CROSSING},
                    TransferCase{"PastFlashEnd", 0xFFFF8, 9, VG730_STATUS_BAD_ADDRESS},
                    TransferCase{"OutsideFlash", 0x100000, 1, VG730_STATUS_BAD_ADDRESS},
                    TransferCase{"AddressWraps", 0xFFFFFFF8u, 16, VG730_STATUS_BAD_ADDRESS},
                    TransferCase{"SeventeenBytes", 0x2000, 17, VG730_STATUS_BAD_LENGTH},
                    TransferCase{"HugeLength", 0x2000, 0xFFFFFFFFu, VG730_STATUS_BAD_LENGTH}),
    [](const auto& info) { return std::string(info.param.name); });

class UploadRangeTest : public testing::TestWithParam<TransferCase> {};

TEST_P(UploadRangeTest, RangeAndLengthRules) {
    const TransferCase& c = GetParam();
    ModelClient client;
    for (std::uint32_t command : {START, ERASE, WRITE, READ}) {
        ASSERT_EQ(client.Command(command).status, 0);
    }
    const UploadAnswer answer = client.Upload(c.address, c.length);
    EXPECT_EQ(answer.result, VG730_OK);
    EXPECT_EQ(answer.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, UploadRangeTest,
    testing::Values(TransferCase{"LastBytesOfFlash", 0xFFFF0, 16, 0},
                    // Reads are not split at pages.
                    TransferCase{"CrossesPage", 0x1FF8, 16, 0},
                    TransferCase{"Nothing", 0x2000, 0, 0},
                    TransferCase{"PastFlashEnd", 0xFFFF8, 9, VG730_STATUS_BAD_ADDRESS},
                    TransferCase{"SeventeenBytes", 0x2000, 17, VG730_STATUS_BAD_LENGTH}),
    [](const auto& info) { return std::string(info.param.name); });

// A step of a command sequence: a flash command or a transfer, and the status it must get.
struct Step {
    enum Kind { Command, Write, Read, Check } kind;
    std::uint32_t value; // command, or address
    std::int32_t status;
};

struct OrderCase {
    const char* name;
    std::vector<Step> steps;
};

class CommandOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(CommandOrderTest, OutOfOrderRequestsGetNonZeroStatus) {
    ModelClient client;
    Vg730Fault noRestart{};
    noRestart.type = VG730_FAULT_RESTART_TIME;
    noRestart.value = 0;
    ASSERT_EQ(client.AddFault(noRestart), VG730_OK);
    int index = 0;
    for (const Step& step : GetParam().steps) {
        Answer answer{};
        switch (step.kind) {
        case Step::Command:
            answer = client.Command(step.value);
            break;
        case Step::Write:
            answer = client.Download(step.value, {0x12, 0x34});
            break;
        case Step::Read: {
            const UploadAnswer up = client.Upload(step.value, 2);
            answer = {up.result, up.status};
            break;
        }
        case Step::Check:
            answer = client.EraseCheck(step.value);
            break;
        }
        EXPECT_EQ(answer.result, VG730_OK) << "step " << index;
        EXPECT_EQ(answer.status, step.status) << "step " << index;
        ++index;
    }
}

constexpr Step::Kind CMD = Step::Command, WRITE_DATA = Step::Write, READ_DATA = Step::Read,
                     CHECK = Step::Check;

INSTANTIATE_TEST_SUITE_P(
    Sequences, CommandOrderTest,
    testing::Values(
        OrderCase{"FullSequence",
                  {{CMD, START, 0},
                   {CMD, ERASE, 0},
                   {CHECK, 0xFFFE, 0},
                   {CHECK, 0x1FFFE, 0},
                   {CMD, WRITE, 0},
                   {WRITE_DATA, 0x100, 0},
                   {WRITE_DATA, 0x102, 0},
                   {CMD, READ, 0},
                   {READ_DATA, 0x100, 0},
                   {READ_DATA, 0x102, 0},
                   {CMD, END, 0}}},
        OrderCase{"EraseBeforeStart", {{CMD, ERASE, BAD}}},
        OrderCase{"WriteModeBeforeStart", {{CMD, WRITE, BAD}}},
        OrderCase{"ReadModeBeforeStart", {{CMD, READ, BAD}}},
        OrderCase{"TransfersWhenIdle",
                  {{WRITE_DATA, 0x100, BAD}, {READ_DATA, 0x100, BAD}, {CHECK, 0xFFFE, BAD}}},
        OrderCase{"StartTwice", {{CMD, START, 0}, {CMD, START, BAD}}},
        OrderCase{"WriteModeWithoutErase", {{CMD, START, 0}, {CMD, WRITE, BAD}}},
        OrderCase{"ReadModeStraightAfterStart",
                  {{CMD, START, 0}, {CMD, READ, BAD}, {READ_DATA, 0x100, BAD}}},
        OrderCase{"EraseCheckBeforeErase", {{CMD, START, 0}, {CHECK, 0xFFFE, BAD}}},
        OrderCase{"EraseTwice", {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, ERASE, BAD}}},
        OrderCase{"DownloadBeforeWriteMode",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {WRITE_DATA, 0x100, BAD}}},
        OrderCase{"ReadModeStraightAfterErase",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, READ, BAD}}},
        OrderCase{"EraseInWriteMode",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, WRITE, 0}, {CMD, ERASE, BAD}}},
        OrderCase{"EraseCheckAfterWriteMode",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, WRITE, 0}, {CHECK, 0xFFFE, BAD}}},
        OrderCase{"WriteModeTwice",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, WRITE, 0}, {CMD, WRITE, BAD}}},
        OrderCase{"UploadBeforeReadMode",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, WRITE, 0}, {READ_DATA, 0x100, BAD}}},
        OrderCase{"DownloadInReadMode",
                  {{CMD, START, 0},
                   {CMD, ERASE, 0},
                   {CMD, WRITE, 0},
                   {WRITE_DATA, 0x100, 0},
                   {CMD, READ, 0},
                   {WRITE_DATA, 0x102, BAD}}},
        OrderCase{"WriteModeAfterReadMode",
                  {{CMD, START, 0},
                   {CMD, ERASE, 0},
                   {CMD, WRITE, 0},
                   {CMD, READ, 0},
                   {CMD, WRITE, BAD},
                   {WRITE_DATA, 0x100, BAD}}},
        OrderCase{"EraseCheckOrEraseInReadMode",
                  {{CMD, START, 0},
                   {CMD, ERASE, 0},
                   {CMD, WRITE, 0},
                   {CMD, READ, 0},
                   {CHECK, 0xFFFE, BAD},
                   {CMD, ERASE, BAD},
                   {CMD, READ, BAD}}},
        // A refused step leaves the device where it was: the sequence goes on from there.
        OrderCase{"RefusedStepsChangeNothing",
                  {{CMD, START, 0},
                   {CMD, WRITE, BAD},
                   {CMD, ERASE, 0},
                   {CMD, READ, BAD},
                   {CHECK, 0xFFFE, 0},
                   {CMD, WRITE, 0},
                   {WRITE_DATA, 0x100, 0}}},
        OrderCase{"EndWhenIdleIsHarmless", {{CMD, END, 0}, {CMD, START, 0}}},
        OrderCase{"EndLeavesProgramming",
                  {{CMD, START, 0}, {CMD, ERASE, 0}, {CMD, END, 0}, {CMD, ERASE, BAD}}},
        OrderCase{"UnknownCommands",
                  {{CMD, 0, VG730_STATUS_BAD_COMMAND},
                   {CMD, 6, VG730_STATUS_BAD_COMMAND},
                   {CMD, 0xFFFFFFFFu, VG730_STATUS_BAD_COMMAND}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The erase clears every bank, so the checks pass after it; a cell the erase left as it was
// (a worn-out one) fails the check of its bank only.
TEST(EraseCheck, AcceptsEveryErasedBankAndRefusesOneThatIsNot) {
    ModelClient client;
    ASSERT_EQ(client.Command(START).status, 0);
    ASSERT_EQ(client.Command(ERASE).status, 0);
    for (std::uint32_t bank = 0; bank < VG730_FLASH_SIZE; bank += VG730_BANK_SIZE) {
        EXPECT_EQ(client.EraseCheck(bank + 0xFFFE).status, 0) << bank;
    }
    client.Device()->flash[0x10000] = 0x7F;
    EXPECT_EQ(client.EraseCheck(0x1FFFE).status, VG730_STATUS_NOT_BLANK);
    EXPECT_EQ(client.EraseCheck(0x10000).status, VG730_STATUS_NOT_BLANK);
    EXPECT_EQ(client.EraseCheck(0xFFFE).status, 0);
    EXPECT_EQ(client.EraseCheck(0x2FFFE).status, 0);
    EXPECT_EQ(client.EraseCheck(0x10FFFE).status, VG730_STATUS_BAD_ADDRESS);
}

} // namespace
