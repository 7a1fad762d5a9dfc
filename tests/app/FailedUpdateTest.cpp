// Every way the flash programmer can fail, met through the real window of an updater started as a
// double-click starts it: the result comes after the pause and the new detection, with the flash
// programmer's own ending in the report, and no limit of the runner had to stop it.
#include "DeviceFaults.h"
#include "UpdaterFixture.h"

#include "ExeUnitStrings.h"
#include "UniversalTypesUnit.h"

#include <functional>
#include <iostream>

namespace updater_test {
namespace {

// Longer than any of these runs takes; a flash programmer that waits for a key hits it.
constexpr wchar_t SilenceLimitMs[] = L"15000";

class FailedUpdate;

struct FailureCase {
    const char* name;
    // Done once the update is offered, before it is started.
    std::function<void(FailedUpdate&)> arrange;
    // The report's last lines; "{image}" stands for the image's path, and a line ending in "*"
    // only has to begin with what comes before the "*".
    std::vector<std::wstring> lastLines;
    // Done after the result, where the gateway needs it to be offered again.
    std::function<void(FailedUpdate&)> restore = nullptr;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class FailedUpdate : public UpdaterTest, public ::testing::WithParamInterface<FailureCase> {
public:
    using UpdaterTest::Control;
    using UpdaterTest::Folder;

    // Something this test holds open while the update runs.
    UniqueFileHandle held;
};

const std::vector<std::wstring> NotUpdated = {L"", L"The firmware was NOT updated.",
                                              L"Press RETURN to quit."};

std::vector<std::wstring> Ending(std::vector<std::wstring> lines) {
    lines.insert(lines.end(), NotUpdated.begin(), NotUpdated.end());
    return lines;
}

const FailureCase FailureCases[] = {
    {"ImageCannotBeOpened",
     [](FailedUpdate& t) {
         // Opened by nobody else while this handle lives: the file exists but cannot be read.
         t.held.reset(CreateFileW((t.Folder().Path() + ImageName).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
         ASSERT_TRUE(t.held);
     },
     Ending({L"Loading image file '{image}'...Error: Unable to open file '{image}'",
             L"Error: Unable to open file '{image}' (r=-1)"})},
    {"ImageWithABrokenHeader",
     [](FailedUpdate& t) {
         vg730::ImageSpec spec = ProgramFolder::SmallImage();
         spec.bad_header_checksum = true;
         t.Folder().WriteImage(spec);
     },
     Ending({L"Loading image file '{image}'...ERROR: Header checksum not correct. Corrupt file. ",
             L"Error: Unable to open file '{image}' (r=-3)"})},
    {"ImageCutShort",
     [](FailedUpdate& t) {
         vg730::ImageSpec spec = ProgramFolder::SmallImage();
         spec.truncate = 1000;
         t.Folder().WriteImage(spec);
     },
     Ending({L"Loading image file '{image}'...ERROR: Binary checksum not correct. Corrupt file. *",
             L"Error: Unable to open file '{image}' (r=-5)"})},
    {"ImageForAnotherGateway",
     [](FailedUpdate& t) {
         vg730::ImageSpec spec = ProgramFolder::SmallImage();
         spec.ean = "0007300099002005";
         t.Folder().WriteImage(spec);
     },
     Ending({L"WARNING: Programming wrong firmware may render the device unusable.",
             L"ARE YOU SURE YOU WANT TO CONTINUE?",
             L"Press (upper case)) G to program the device, or any other key to quit."})},
    {"GatewayGoneBeforeItIsOpened",
     // Pulled out after the flash programmer asked who it is: it can no longer open it.
     [](FailedUpdate& t) {
         t.Control().SetFault(0, flash_faults::unplug_at(VG730_REQ_GET_CARD_INFO, 1));
     },
     Ending({L".....Failed to open the device driver (third attempt).", L"Error code 0x00000002: *",
             L"Check that the device is connected and online, and that no other application",
             L"is using the device."}),
     [](FailedUpdate& t) { t.Control().PlugDevice(0); }},
    {"GatewayBusy",
     // What the gateway answers while another program uses it.
     [](FailedUpdate& t) { t.Control().SetFault(0, flash_faults::refuse_start(1)); },
     Ending({L"Unable to start flash programming (r=0, status=1)",
             L"This often happens because another application that uses the device",
             L"in question is running. For example, a CAN analyzer tool or",
             L"Varnik Recordix setup program."})},
    {"StartRefused",
     [](FailedUpdate& t) { t.Control().SetFault(0, flash_faults::refuse_start(7)); },
     Ending({L"Unable to start flash programming (r=0, status=7)",
             L"The target device did not accept the version of the firmware you",
             L"are trying to download, probably because it is too old."})},
    {"DownloadRefused",
     [](FailedUpdate& t) {
         t.Control().SetFault(0, flash_faults::status_fault(VG730_REQ_DOWNLOAD, 70, 3));
     },
     // The one bank's erase check, then the chunks of 16 bytes: the 69th starts 68 * 16 bytes
     // after the header's address, with a mark before the 1st and the 65th.
     Ending({L"Download started: ##Error: Download failed (addr=0x10440, len=0x10, r=0, "
             L"status=3)"})},
    {"CompareFindsADifference",
     [](FailedUpdate& t) {
         // The byte is written wrong, so the gateway's own check finds it too after the end.
         Vg730Fault f{};
         f.type = VG730_FAULT_WRITE;
         f.address = 0x10100;
         f.length = 1;
         f.mask = 0x01;
         t.Control().SetFault(0, f);
     },
     // The 17th chunk of 16 bytes differs: a line end after the first mark, then the marks of
     // the 65th and the 129th upload.
     Ending({L"Starting compare: #", L"##", L"Compare finished (*"})},
};

bool LineMatches(const std::wstring& line, std::wstring expected, const std::wstring& image) {
    for (size_t at = expected.find(L"{image}"); at != std::wstring::npos;
         at = expected.find(L"{image}", at + image.size())) {
        expected.replace(at, 7, image);
    }
    if (!expected.empty() && expected.back() == L'*') {
        expected.pop_back();
        return line.starts_with(expected);
    }
    return line == expected;
}

TEST_P(FailedUpdate, EndsAfterThePauseWithTheFlashProgrammersOwnEnding) {
    const FailureCase& c = GetParam();
    AddGateway(0);
    MainWindow& window = StartUpdater({{L"VG730_FLASHER_SILENCE_MS", SilenceLimitMs}});
    ASSERT_TRUE(Offered());
    ASSERT_NO_FATAL_FAILURE(c.arrange(*this));

    window.ClickUpdate();
    ExpectMessage(L"Do you want to update the VG730 firmware to version 2.05.177?", L"Yes");
    const auto yes = std::chrono::steady_clock::now();
    ExpectMessage(L"Firmware update failed.", L"OK", 40s);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - yes).count();
    std::cout << "from Yes to the result: " << seconds << " s\n";
    held.reset();
    if (c.restore) {
        c.restore(*this);
    }

    TStrings report;
    report.SetText(ReadReport());
    const std::vector<std::wstring> lines = report.Lines();
    for (const std::wstring& line : lines) {
        EXPECT_FALSE(line.starts_with(L"The program was stopped"))
            << "the runner had to stop the flash programmer: " << WideToUtf8(line);
    }
    ASSERT_GE(lines.size(), c.lastLines.size()) << WideToUtf8(report.Text());
    const size_t first = lines.size() - c.lastLines.size();
    for (size_t i = 0; i < c.lastLines.size(); ++i) {
        EXPECT_TRUE(LineMatches(lines[first + i], c.lastLines[i], Folder().Path() + ImageName))
            << "line " << first + i + 1 << " is \"" << WideToUtf8(lines[first + i])
            << "\", expected \"" << WideToUtf8(c.lastLines[i]) << "\"\n"
            << WideToUtf8(report.Text());
    }
    EXPECT_TRUE(Offered(20s)) << "the gateway is offered again after the failure";
}

INSTANTIATE_TEST_SUITE_P(Failures, FailedUpdate, ::testing::ValuesIn(FailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace updater_test
