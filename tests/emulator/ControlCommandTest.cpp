// Portable: the control tool's command line and what it prints.
#include "ControlCommand.h"
#include "ExportTableEdit.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace vg730emu;

struct GoodCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const Command&)> check;
};

class ParseCommandTest : public testing::TestWithParam<GoodCase> {};

TEST_P(ParseCommandTest, Parses) {
    GetParam().check(ParseCommand(GetParam().args));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ParseCommandTest,
    testing::Values(
        GoodCase{"InstallDefaults",
                 {"install"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Install);
                     EXPECT_EQ(c.install.driverVersion, "2.1.0");
                     EXPECT_FALSE(c.install.legacyDll);
                     EXPECT_TRUE(c.install.gatewayDll);
                     EXPECT_TRUE(c.install.missingEntries.empty());
                 }},
        GoodCase{"InstallEverything",
                 {"install", "--driver-version", "2.0.4", "--legacy-dll", "--missing-entry",
                  "canWaitForEvent", "--missing-entry", "canOpen"},
                 [](const Command& c) {
                     EXPECT_EQ(c.install.driverVersion, "2.0.4");
                     EXPECT_TRUE(c.install.legacyDll);
                     EXPECT_EQ(c.install.missingEntries,
                               (std::vector<std::string>{"canWaitForEvent", "canOpen"}));
                 }},
        GoodCase{"InstallWithoutPackage",
                 {"install", "--no-driver-package", "--no-gateway-dll"},
                 [](const Command& c) {
                     EXPECT_FALSE(c.install.driverVersion);
                     EXPECT_FALSE(c.install.gatewayDll);
                 }},
        GoodCase{"AddDefaults",
                 {"add", "12"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Add);
                     EXPECT_EQ(c.number, 12u);
                     EXPECT_STREQ(c.identity.name, "Quorvel VG730 #12");
                     EXPECT_EQ(c.identity.firmware.build, 176u);
                     EXPECT_EQ(c.identity.serial, 1234);
                     EXPECT_EQ(c.identity.no_channel_ean, 0u);
                 }},
        // The parts are decimal, leading zeros and all: "08" is eight and "010" ten.
        GoodCase{"AddFirmwareWithLeadingZeros",
                 {"add", "1", "--firmware", "1.08.010", "--hardware", "09.07"},
                 [](const Command& c) {
                     EXPECT_EQ(c.identity.firmware.major, 1u);
                     EXPECT_EQ(c.identity.firmware.minor, 8u);
                     EXPECT_EQ(c.identity.firmware.build, 10u);
                     EXPECT_EQ(c.identity.hardware_major, 9u);
                     EXPECT_EQ(c.identity.hardware_minor, 7u);
                 }},
        GoodCase{"AddWithoutChannelEan",
                 {"add", "3", "--no-ean", "--name", "Plain gateway"},
                 [](const Command& c) {
                     EXPECT_EQ(c.identity.no_channel_ean, 1u);
                     EXPECT_EQ(c.identity.ean_lo, 0x99001237u); // the identity keeps its EAN
                     EXPECT_STREQ(c.identity.name, "Plain gateway");
                 }},
        GoodCase{"AddEverything",
                 {"add", "0x7F", "--ean", "0007300099002005", "--param-ean", "00073000990012AB",
                  "--firmware", "3.10.300", "--hardware", "2.7", "--serial", "-5", "--name",
                  "My VG730 #127"},
                 [](const Command& c) {
                     EXPECT_EQ(c.number, 127u);
                     EXPECT_EQ(c.identity.ean_hi, 0x00073000u);
                     EXPECT_EQ(c.identity.ean_lo, 0x99002005u);
                     EXPECT_EQ(c.identity.has_param_ean, 1u);
                     EXPECT_EQ(c.identity.param_ean_lo, 0x990012ABu);
                     EXPECT_EQ(c.identity.firmware.major, 3u);
                     EXPECT_EQ(c.identity.firmware.minor, 10u);
                     EXPECT_EQ(c.identity.firmware.build, 300u);
                     EXPECT_EQ(c.identity.hardware_major, 2u);
                     EXPECT_EQ(c.identity.hardware_minor, 7u);
                     EXPECT_EQ(c.identity.serial, -5);
                     EXPECT_STREQ(c.identity.name, "My VG730 #127");
                 }},
        GoodCase{"FaultFail",
                 {"fault", "3", "fail", "download", "--nth", "5", "--repeat", "0"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Fault);
                     EXPECT_EQ(c.number, 3u);
                     EXPECT_EQ(c.fault.type, static_cast<std::uint32_t>(VG730_FAULT_FAIL_CALL));
                     EXPECT_EQ(c.fault.kind, static_cast<std::uint32_t>(VG730_REQ_DOWNLOAD));
                     EXPECT_EQ(c.fault.nth, 5u);
                     EXPECT_EQ(c.fault.repeat, 0u);
                 }},
        GoodCase{"FaultStatus",
                 {"fault", "3", "status", "flash_command", "-7"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.type, static_cast<std::uint32_t>(VG730_FAULT_ANSWER_STATUS));
                     EXPECT_EQ(c.fault.status, -7);
                     EXPECT_EQ(c.fault.nth, 1u);
                     EXPECT_EQ(c.fault.repeat, 1u);
                 }},
        GoodCase{"FaultCorrupt",
                 {"fault", "0", "corrupt", "0x10020", "--length", "3"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.address, 0x10020u);
                     EXPECT_EQ(c.fault.length, 3u);
                     EXPECT_EQ(c.fault.mask, 0xFFu);
                 }},
        GoodCase{"UnplugNow",
                 {"fault", "0", "unplug"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.type, static_cast<std::uint32_t>(VG730_FAULT_UNPLUG));
                     EXPECT_EQ(c.fault.nth, 0u);
                 }},
        GoodCase{"UnplugLater",
                 {"fault", "0", "unplug", "--at", "upload", "--nth", "40"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.kind, static_cast<std::uint32_t>(VG730_REQ_UPLOAD));
                     EXPECT_EQ(c.fault.nth, 40u);
                     EXPECT_EQ(c.fault.value, static_cast<std::uint32_t>(VG730_UNPLUG_BEFORE));
                 }},
        GoodCase{"UnplugAfterTheRequest",
                 {"fault", "0", "unplug", "--at", "flash_command", "--after", "--nth", "2"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.kind, static_cast<std::uint32_t>(VG730_REQ_FLASH_COMMAND));
                     EXPECT_EQ(c.fault.nth, 2u);
                     EXPECT_EQ(c.fault.value, static_cast<std::uint32_t>(VG730_UNPLUG_AFTER));
                 }},
        GoodCase{"UnplugHalfAChunkWritten",
                 {"fault", "0", "unplug", "--half", "--at", "download"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.kind, static_cast<std::uint32_t>(VG730_REQ_DOWNLOAD));
                     EXPECT_EQ(c.fault.nth, 1u);
                     EXPECT_EQ(c.fault.value,
                               static_cast<std::uint32_t>(VG730_UNPLUG_HALF_WRITTEN));
                 }},
        GoodCase{"WriteFault",
                 {"fault", "4", "write-fault", "0x1ff9", "--length", "2", "--mask", "0x40"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.type, static_cast<std::uint32_t>(VG730_FAULT_WRITE));
                     EXPECT_EQ(c.fault.address, 0x1FF9u);
                     EXPECT_EQ(c.fault.length, 2u);
                     EXPECT_EQ(c.fault.mask, 0x40u);
                 }},
        GoodCase{"Plug",
                 {"plug", "7"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Plug);
                     EXPECT_EQ(c.number, 7u);
                 }},
        GoodCase{"Counters",
                 {"fault", "1", "error-counters", "1", "2", "3"},
                 [](const Command& c) {
                     EXPECT_EQ(c.fault.tx_errors, 1u);
                     EXPECT_EQ(c.fault.rx_errors, 2u);
                     EXPECT_EQ(c.fault.overruns, 3u);
                 }},
        GoodCase{"EntryFault",
                 {"entry-fault", "canWrite", "-15"},
                 [](const Command& c) {
                     EXPECT_EQ(c.entry, "canWrite");
                     EXPECT_EQ(c.entryStatus, -15);
                 }},
        GoodCase{"EntryNormal",
                 {"entry-fault", "canWrite", "normal"},
                 [](const Command& c) { EXPECT_FALSE(c.entryStatus); }},
        GoodCase{"VirtualName",
                 {"add-virtual", "--name", "Virtual X"},
                 [](const Command& c) { EXPECT_EQ(c.virtualName, "Virtual X"); }},
        GoodCase{"TxLevel",
                 {"fault", "2", "tx-level", "0x10"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Fault);
                     EXPECT_EQ(c.number, 2u);
                     EXPECT_EQ(c.fault.type, static_cast<std::uint32_t>(VG730_FAULT_TX_LEVEL));
                     EXPECT_EQ(c.fault.value, 16u);
                 }},
        GoodCase{"NotifyStatus",
                 {"notify", "3", "status"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Notify);
                     EXPECT_EQ(c.number, 3u);
                     EXPECT_EQ(c.notifyEvent.code, 32003u);
                     EXPECT_EQ(c.notifyEvent.flag, 0x08u);
                 }},
        GoodCase{"Calls",
                 {"calls"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Calls);
                     EXPECT_FALSE(c.clearLog);
                 }},
        GoodCase{"CallsClear",
                 {"calls", "--clear"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Calls);
                     EXPECT_TRUE(c.clearLog);
                 }},
        GoodCase{"Requests",
                 {"requests"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Requests);
                     EXPECT_FALSE(c.clearLog);
                 }},
        GoodCase{"RequestsClear",
                 {"requests", "--clear"},
                 [](const Command& c) {
                     EXPECT_EQ(c.kind, CommandKind::Requests);
                     EXPECT_TRUE(c.clearLog);
                 }},
        GoodCase{"Help", {}, [](const Command& c) { EXPECT_EQ(c.kind, CommandKind::Help); }}),
    [](const auto& info) { return std::string(info.param.name); });

class BadCommandTest : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadCommandTest, RefusedWithAMessage) {
    try {
        ParseCommand(GetParam());
        FAIL() << "accepted";
    } catch (const UsageError& error) {
        EXPECT_GT(std::string(error.what()).size(), 5u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BadCommandTest,
    testing::Values(
        std::vector<std::string>{"frobnicate"}, std::vector<std::string>{"add"},
        std::vector<std::string>{"add", "128"}, std::vector<std::string>{"add", "-1"},
        std::vector<std::string>{"add", "1", "--ean", "0007300099001237X"},
        std::vector<std::string>{"add", "1", "--ean", "000730009900123"},
        std::vector<std::string>{"add", "1", "--firmware", "2.05"},
        std::vector<std::string>{"add", "1", "--firmware", "2.05.177.1"},
        std::vector<std::string>{"add", "1", "--firmware", "2.x.1"},
        std::vector<std::string>{"add", "1", "--firmware", "65536.0.0"},
        std::vector<std::string>{"add", "1", "--hardware", "1.256"},
        std::vector<std::string>{"add", "1", "--serial", "2147483648"},
        std::vector<std::string>{"add", "1", "--name", std::string(64, 'n')},
        std::vector<std::string>{"add", "1", "--colour", "red"},
        std::vector<std::string>{"show", "1", "2"}, std::vector<std::string>{"fault", "1"},
        std::vector<std::string>{"fault", "1", "fail", "uploads"},
        std::vector<std::string>{"fault", "1", "fail", "upload", "--nth", "0"},
        std::vector<std::string>{"fault", "1", "status", "upload", "0"},
        std::vector<std::string>{"fault", "1", "corrupt", "0x10", "--mask", "0"},
        std::vector<std::string>{"fault", "1", "corrupt", "0x10", "--mask", "256"},
        std::vector<std::string>{"fault", "1", "unplug", "--nth", "3"},
        std::vector<std::string>{"fault", "1", "unplug", "--after"},
        std::vector<std::string>{"fault", "1", "unplug", "--at", "upload", "--half"},
        std::vector<std::string>{"fault", "1", "unplug", "--at", "download", "--half", "--after"},
        std::vector<std::string>{"fault", "1", "write-fault", "0x10", "--length", "0"},
        std::vector<std::string>{"fault", "1", "write-fault"}, std::vector<std::string>{"plug"},
        std::vector<std::string>{"plug", "128"}, std::vector<std::string>{"requests", "--all"},
        std::vector<std::string>{"fault", "1", "latency", "-1"},
        std::vector<std::string>{"fault", "1", "restart-ms", "1073741824"},
        std::vector<std::string>{"entry-fault", "canFly", "-1"},
        std::vector<std::string>{"entry-fault", "canWrite"},
        std::vector<std::string>{"calls", "--all"},
        std::vector<std::string>{"fault", "1", "tx-level", "-1"},
        std::vector<std::string>{"fault", "1", "tx-level"},
        std::vector<std::string>{"notify", "1", "frobnicate"},
        std::vector<std::string>{"notify", "128", "rx"}, std::vector<std::string>{"notify", "1"},
        std::vector<std::string>{"notify", "1", "rx", "tx"},
        std::vector<std::string>{"calls", "--clear", "now"},
        std::vector<std::string>{"install", "--driver-version"},
        std::vector<std::string>{"install", "--no-driver-package", "--driver-version", "2.1.0"},
        std::vector<std::string>{"install", "--legacy-dll", "--no-gateway-dll"},
        std::vector<std::string>{"install", "--missing-entry", "canFly"}));

TEST(ReportLines, KeyValueLinesOfTheState) {
    Vg730Report report{};
    report.number = 4;
    report.presence = VG730_PRESENT;
    report.state = VG730_STATE_WRITE_MODE;
    vg730_identity_default(&report.identity, 4);
    report.identity.firmware = {2, 5, 7};
    report.image_ok = 1;
    report.flash_start = 0x10000;
    report.flash_length = 4122;
    report.flash_crc = 0xBEEF;
    report.requests[VG730_REQ_DOWNLOAD] = 258;
    report.tx_level = 9;
    report.write_faults = 2;
    const std::vector<std::string> lines = ReportLines(report);
    for (const char* expected :
         {"device=4", "state=write_mode", "firmware=2.05.7", "ean=0007300099001237",
          "param_ean=none", "image_ok=1", "flash_start=0x00010000", "flash_length=4122",
          "flash_crc=0xbeef", "requests.download=258", "requests.upload=0", "name=Quorvel VG730 #4",
          "tx_level=9", "write_faults=2"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "channel_ean=0007300099001237"), lines.end());
    struct EanCase {
        std::uint32_t hasParam, noChannel;
        const char* line;
    };
    for (const EanCase& c :
         {EanCase{1, 0, "channel_ean=00073000990012ab"}, EanCase{1, 1, "channel_ean=none"},
          EanCase{0, 1, "channel_ean=none"}}) {
        Vg730Report other = report;
        other.identity.has_param_ean = c.hasParam;
        other.identity.param_ean_hi = 0x00073000;
        other.identity.param_ean_lo = 0x990012AB;
        other.identity.no_channel_ean = c.noChannel;
        const std::vector<std::string> shown = ReportLines(other);
        EXPECT_NE(std::find(shown.begin(), shown.end(), c.line), shown.end()) << c.line;
    }
    report.presence = VG730_RESTARTING;
    const std::vector<std::string> away = ReportLines(report);
    EXPECT_NE(std::find(away.begin(), away.end(), "state=restarting"), away.end());
}

TEST(ParseNotifyEvent, NamesTheFourEventsWithTheirFlags) {
    const std::pair<const char*, NotifyEvent> events[] = {{"rx", {32000, 0x01}},
                                                          {"tx", {32001, 0x02}},
                                                          {"error", {32002, 0x04}},
                                                          {"status", {32003, 0x08}}};
    for (const auto& [name, event] : events) {
        EXPECT_EQ(ParseNotifyEvent(name).code, event.code) << name;
        EXPECT_EQ(ParseNotifyEvent(name).flag, event.flag) << name;
    }
    EXPECT_THROW(ParseNotifyEvent("Status"), UsageError);
}

TEST(FormatFirmware, MinorHasTwoDigits) {
    EXPECT_EQ(FormatFirmware({2, 5, 177}), "2.05.177");
    EXPECT_EQ(FormatFirmware({3, 12, 4}), "3.12.4");
    EXPECT_EQ(FormatFirmware({0, 0, 0}), "0.00.0");
}

TEST(ExportTableEdit, RefusesWhatIsNoLibrary) {
    EXPECT_THROW(ExportedNames(std::vector<std::uint8_t>(100, 0)), ImageFormatError);
    EXPECT_THROW(ExportedNames({}), ImageFormatError);
    std::vector<std::uint8_t> dosOnly(0x100, 0);
    dosOnly[0] = 'M';
    dosOnly[1] = 'Z';
    dosOnly[0x3C] = 0x80;
    EXPECT_THROW(RemoveExportNames(dosOnly, {"canOpen"}), ImageFormatError);
}

} // namespace
