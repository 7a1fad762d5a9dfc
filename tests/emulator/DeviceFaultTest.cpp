// Portable: faults injected into the device model while it runs.
#include "ImageWriter.h"
#include "ModelClient.h"
#include "Vg730Bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Puts the device where SendOne's request of the kind is accepted, again and again: idle for a
// flash command (FLASH_END, which then does nothing), erased for a download (an erase check),
// in read mode for an upload.
void Prepare(ModelClient& client, std::uint32_t kind) {
    std::vector<std::uint32_t> commands;
    if (kind == VG730_REQ_DOWNLOAD) {
        commands = {VG730_FLASH_START, VG730_FLASH_ERASE};
    } else if (kind == VG730_REQ_UPLOAD) {
        commands = {VG730_FLASH_START, VG730_FLASH_ERASE, VG730_FLASH_WRITE_MODE,
                    VG730_FLASH_READ_MODE};
    }
    for (std::uint32_t command : commands) {
        ASSERT_EQ(client.Command(command).status, 0);
    }
}

// Sends one request of a kind that leaves the device as it was (see Prepare).
Answer SendOne(ModelClient& client, std::uint32_t kind) {
    Vg730Result result;
    switch (kind) {
    case VG730_REQ_FLASH_COMMAND:
        return client.Command(VG730_FLASH_END);
    case VG730_REQ_DOWNLOAD:
        return client.EraseCheck(0xFFFE);
    case VG730_REQ_UPLOAD: {
        const UploadAnswer a = client.Upload(0x100, 16);
        return {a.result, a.status};
    }
    case VG730_REQ_READ_CARD_PARAMETER: {
        std::vector<std::uint8_t> in(144, 0);
        PutWord(in.data(), 0, 1);
        PutWord(in.data(), 4, 0x81);
        PutWord(in.data(), 12, 8);
        const auto out = client.Request(VG730_IOCTL_READ_CARD_PARAMETER, 144, &result, in);
        return {result, static_cast<std::int32_t>(Word(out.data(), 8))};
    }
    case VG730_REQ_GET_CARD_INFO:
        client.Request(VG730_IOCTL_GET_CARD_INFO, 376, &result);
        return {result, 0};
    case VG730_REQ_GET_CARD_INFO2:
        client.Request(VG730_IOCTL_GET_CARD_INFO2, 128, &result);
        return {result, 0};
    default:
        client.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
        return {result, 0};
    }
}

// A device that keeps a parameter EAN, so that read_card_parameter answers 0.
class FaultTest : public testing::Test {
protected:
    void SetUp() override { client.Device()->identity.has_param_ean = 1; }
    ModelClient client;
};

struct NthCase {
    const char* name;
    std::uint32_t kind;
};

class NthRequestTest : public FaultTest, public testing::WithParamInterface<NthCase> {
protected:
    void SetUp() override {
        FaultTest::SetUp();
        // The fault counts from the requests already seen: send one first.
        kind = GetParam().kind;
        Prepare(client, kind);
        ASSERT_EQ(SendOne(client, kind).status, 0);
    }
    std::uint32_t kind = 0;
};

TEST_P(NthRequestTest, ControlCallFailsAtTheNthRequestOnly) {
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, kind, 3)), VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_FAIL_INJECTED);
    EXPECT_EQ(client.lastBytesReturned, 0u);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
}

TEST_P(NthRequestTest, RepeatedFailuresAndFailuresForGood) {
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, kind, 2, 2)), VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_FAIL_INJECTED);
    EXPECT_EQ(SendOne(client, kind).result, VG730_FAIL_INJECTED);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, kind, 1, 0)), VG730_OK);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(SendOne(client, kind).result, VG730_FAIL_INJECTED) << i;
    }
    vg730_device_clear_faults(client.Device());
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
}

TEST_P(NthRequestTest, UnplugInTheMiddleOfARun) {
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_UNPLUG, kind, 2)), VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_OK);
    EXPECT_EQ(SendOne(client, kind).result, VG730_FAIL_ABSENT);
    client.now += 100000;
    EXPECT_EQ(SendOne(client, VG730_REQ_GET_CARD_INFO).result, VG730_FAIL_ABSENT);
    Vg730Handle handle;
    EXPECT_EQ(vg730_device_open(client.Device(), client.now, VG730_OBJECT_INFO, &handle),
              VG730_FAIL_ABSENT);
    EXPECT_EQ(client.Report().presence, VG730_UNPLUGGED);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NthRequestTest,
                         testing::Values(NthCase{"FlashCommand", VG730_REQ_FLASH_COMMAND},
                                         NthCase{"Download", VG730_REQ_DOWNLOAD},
                                         NthCase{"Upload", VG730_REQ_UPLOAD},
                                         NthCase{"CardInfo", VG730_REQ_GET_CARD_INFO},
                                         NthCase{"CardInfo2", VG730_REQ_GET_CARD_INFO2},
                                         NthCase{"CardParameter", VG730_REQ_READ_CARD_PARAMETER},
                                         NthCase{"ChannelInfo", VG730_REQ_CHANNEL_INFO}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusCase {
    const char* name;
    std::uint32_t kind;
    std::int32_t status;
};

class AnswerStatusTest : public FaultTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(AnswerStatusTest, NthRequestIsAnsweredWithTheStatusAndNotCarriedOut) {
    const StatusCase& c = GetParam();
    Prepare(client, c.kind);
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_ANSWER_STATUS, c.kind, 1, 1, c.status)),
              VG730_OK);
    const Answer answer = SendOne(client, c.kind);
    EXPECT_EQ(answer.result, VG730_OK);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(client.lastBytesReturned,
              c.kind == VG730_REQ_FLASH_COMMAND
                  ? 24u
                  : (c.kind == VG730_REQ_READ_CARD_PARAMETER ? 144u : 32u));
    EXPECT_EQ(SendOne(client, c.kind).status, 0);
}

TEST_F(FaultTest, AnsweredCommandIsNotCarriedOut) {
    Prepare(client, VG730_REQ_UPLOAD);
    ASSERT_EQ(client.AddFault(RequestFault(VG730_FAULT_ANSWER_STATUS, VG730_REQ_FLASH_COMMAND, 1, 1,
                                           VG730_STATUS_BAD_COMMAND)),
              VG730_OK);
    EXPECT_EQ(client.Command(VG730_FLASH_END).status, VG730_STATUS_BAD_COMMAND);
    EXPECT_EQ(client.Report().state, VG730_STATE_READ_MODE);
    EXPECT_EQ(client.Report().presence, VG730_PRESENT);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnswerStatusTest,
                         testing::Values(StatusCase{"FlashCommand", VG730_REQ_FLASH_COMMAND, 9},
                                         StatusCase{"Download", VG730_REQ_DOWNLOAD, 6},
                                         StatusCase{"Upload", VG730_REQ_UPLOAD, -3},
                                         StatusCase{"CardParameter", VG730_REQ_READ_CARD_PARAMETER,
                                                    1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultValidation, RefusesFaultsThatCannotBeMet) {
    ModelClient client;
    // The identity requests have no status word to answer with.
    EXPECT_EQ(
        client.AddFault(RequestFault(VG730_FAULT_ANSWER_STATUS, VG730_REQ_GET_CARD_INFO, 1, 1, 5)),
        VG730_FAIL_BAD_FAULT);
    EXPECT_EQ(client.AddFault(RequestFault(VG730_FAULT_ANSWER_STATUS, VG730_REQ_DOWNLOAD, 1, 1, 0)),
              VG730_FAIL_BAD_FAULT);
    EXPECT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, VG730_REQ_DOWNLOAD, 0)),
              VG730_FAIL_BAD_FAULT);
    EXPECT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, VG730_REQ_KIND_COUNT, 1)),
              VG730_FAIL_BAD_FAULT);
    EXPECT_EQ(client.AddFault(RequestFault(99, VG730_REQ_DOWNLOAD, 1)), VG730_FAIL_BAD_FAULT);
    Vg730Fault corrupt{};
    corrupt.type = VG730_FAULT_CORRUPT;
    corrupt.address = 0x100;
    corrupt.length = 1;
    corrupt.mask = 0;
    EXPECT_EQ(client.AddFault(corrupt), VG730_FAIL_BAD_FAULT);
    corrupt.type = VG730_FAULT_WRITE;
    EXPECT_EQ(client.AddFault(corrupt), VG730_FAIL_BAD_FAULT);
    // Half a request written: only a download has bytes to halve.
    Vg730Fault unplug = RequestFault(VG730_FAULT_UNPLUG, VG730_REQ_UPLOAD, 1);
    unplug.value = VG730_UNPLUG_HALF_WRITTEN;
    EXPECT_EQ(client.AddFault(unplug), VG730_FAIL_BAD_FAULT);
    unplug.kind = VG730_REQ_DOWNLOAD;
    unplug.value = VG730_UNPLUG_HALF_WRITTEN + 1;
    EXPECT_EQ(client.AddFault(unplug), VG730_FAIL_BAD_FAULT);
    EXPECT_EQ(client.Report().request_faults, 0u);
    for (std::uint32_t i = 0; i < VG730_MAX_REQUEST_FAULTS; ++i) {
        EXPECT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, VG730_REQ_UPLOAD, 100)),
                  VG730_OK);
    }
    EXPECT_EQ(client.AddFault(RequestFault(VG730_FAULT_FAIL_CALL, VG730_REQ_UPLOAD, 100)),
              VG730_FAIL_FULL);
    EXPECT_EQ(client.Report().request_faults, static_cast<std::uint32_t>(VG730_MAX_REQUEST_FAULTS));
}

struct RefusalCase {
    const char* name;
    std::int32_t status;
};

class RefuseStartTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefuseStartTest, StartRefusedAndNothingErased) {
    ModelClient client;
    Vg730Fault refuse{};
    refuse.type = VG730_FAULT_REFUSE_START;
    refuse.status = GetParam().status;
    ASSERT_EQ(client.AddFault(refuse), VG730_OK);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Answer answer = client.Command(VG730_FLASH_START, 255, 255, 255);
        EXPECT_EQ(answer.result, VG730_OK);
        EXPECT_EQ(answer.status, GetParam().status);
    }
    EXPECT_EQ(client.Command(VG730_FLASH_ERASE).status, VG730_STATUS_BAD_STATE);
    EXPECT_EQ(client.Report().state, VG730_STATE_IDLE);
    vg730_device_clear_faults(client.Device());
    EXPECT_EQ(client.Command(VG730_FLASH_START).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, RefuseStartTest,
                         testing::Values(RefusalCase{"ToolOutdated", 4},
                                         RefusalCase{"VersionRefused", 7},
                                         RefusalCase{"Other", 12}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CorruptReadBack, OnlyTheChosenBytesReadWrong) {
    vg730::ImageSpec spec;
    spec.size = 256;
    const std::vector<std::uint8_t> image = vg730::BuildImage(spec);
    ModelClient client;
    ASSERT_EQ(client.Program(spec.load_addr, image).status, 0);

    Vg730Fault corrupt{};
    corrupt.type = VG730_FAULT_CORRUPT;
    corrupt.address = spec.load_addr + 0x21;
    corrupt.length = 2;
    corrupt.mask = 0x40;
    ASSERT_EQ(client.AddFault(corrupt), VG730_OK);
    const UploadAnswer answer = client.Upload(spec.load_addr + 0x20, 16);
    ASSERT_EQ(answer.status, 0);
    for (std::uint32_t i = 0; i < 16; ++i) {
        const std::uint8_t expected = (i == 1 || i == 2)
                                          ? static_cast<std::uint8_t>(image[0x20 + i] ^ 0x40)
                                          : image[0x20 + i];
        EXPECT_EQ(answer.data[i], expected) << i;
    }
    // The flash itself is right: the programmed region still has the image's checksum.
    const UploadAnswer other = client.Upload(spec.load_addr, 16);
    EXPECT_EQ(other.data, std::vector<std::uint8_t>(image.begin(), image.begin() + 16));
}

TEST(FaultSettings, ClearRestoresEveryDefault) {
    ModelClient client;
    Vg730Fault fault{};
    fault.type = VG730_FAULT_LATENCY;
    fault.value = 1500;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);
    fault.type = VG730_FAULT_RESTART_TIME;
    fault.value = 10;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);
    fault.type = VG730_FAULT_BUS_STATUS;
    fault.value = 0x81;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);
    fault = Vg730Fault{};
    fault.type = VG730_FAULT_ERROR_COUNTERS;
    fault.tx_errors = 3;
    fault.rx_errors = 4;
    fault.overruns = 5;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);
    fault = Vg730Fault{};
    fault.type = VG730_FAULT_TX_LEVEL;
    fault.value = 7;
    ASSERT_EQ(client.AddFault(fault), VG730_OK);

    // The CAN library reads them from the channel record.
    Vg730Result result = VG730_FAIL_ABSENT;
    auto info = client.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
    ASSERT_EQ(result, VG730_OK);
    EXPECT_EQ(vg730_get32(info.data() + VG730_CH_BUS_STATUS), 0x81u);
    EXPECT_EQ(vg730_get32(info.data() + VG730_CH_TX_ERRORS), 3u);
    EXPECT_EQ(vg730_get32(info.data() + VG730_CH_OVERRUNS), 5u);
    EXPECT_EQ(vg730_get32(info.data() + VG730_CH_TX_LEVEL), 7u);

    Vg730Report report = client.Report();
    EXPECT_EQ(vg730_device_latency_us(client.Device()), 1500u);
    EXPECT_EQ(report.restart_ms, 10u);
    EXPECT_EQ(report.bus_status, 0x81u);
    EXPECT_EQ(report.tx_errors, 3u);
    EXPECT_EQ(report.rx_errors, 4u);
    EXPECT_EQ(report.overruns, 5u);
    EXPECT_EQ(report.tx_level, 7u);

    vg730_device_clear_faults(client.Device());
    report = client.Report();
    EXPECT_EQ(report.latency_us, 0u);
    EXPECT_EQ(report.restart_ms, static_cast<std::uint32_t>(VG730_DEFAULT_RESTART_MS));
    EXPECT_EQ(report.bus_status, 0u);
    EXPECT_EQ(report.tx_errors + report.rx_errors + report.overruns, 0u);
    EXPECT_EQ(report.tx_level, 0u);
    info = client.Request(VG730_IOCTL_CHANNEL_INFO, VG730_CHANNEL_INFO_SIZE, &result);
    EXPECT_EQ(vg730_get32(info.data() + VG730_CH_TX_LEVEL), 0u);
}

} // namespace
