// Windows side, under Wine: the call log of the installed emulated CAN library, read from the
// driver in-process (EmulatorControl::Calls) and through the tool's "calls" command.
#include "CanLibEntries.h"
#include "CanLibraryFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

namespace {

// The logged calls as the tool prints them, without sequence numbers.
std::vector<std::string> Texts(const vg730emu::CanCallLog& log) {
    std::vector<std::string> texts;
    for (const vg730emu::CanCall& call : log.calls) {
        texts.push_back(vg730emu::CallText(call));
    }
    return texts;
}

struct CallCase {
    const char* name;
    std::function<void(LoadedCanLibrary&, std::int32_t handle)> call;
    const char* expected; // "{h}" stands for the handle
};

class CanLibraryCallTest : public CanLibraryTest, public testing::WithParamInterface<CallCase> {};

TEST_P(CanLibraryCallTest, EntryLogsItsArgumentsInOrder) {
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    control.ClearCalls();
    GetParam().call(can, handle);
    std::string expected = GetParam().expected;
    if (const std::size_t at = expected.find("{h}"); at != std::string::npos) {
        expected.replace(at, 3, std::to_string(handle));
    }
    EXPECT_EQ(Texts(control.Calls()), std::vector<std::string>{expected});
}

std::uint8_t Data[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

INSTANTIATE_TEST_SUITE_P(
    Entries, CanLibraryCallTest,
    testing::Values(CallCase{"OpenChannel", [](auto& can, auto) { can.openChannel(1, 0xA0); },
                             "canOpenChannel 1 160"},
                    CallCase{"ChannelData",
                             [](auto& can, auto) {
                                 std::string buffer(262145, '\0');
                                 can.channelData(2, 13, buffer.data(), 262144);
                             },
                             "canGetChannelData 2 13 262144"},
                    CallCase{"BusParams",
                             [](auto& can, auto h) { can.setBusParams(h, 125000, 11, 4, 1, 3, 0); },
                             "canSetBusParams {h} 125000 11 4 1 3 0"},
                    CallCase{"OutputControl", [](auto& can, auto h) { can.setOutputControl(h, 1); },
                             "canSetBusOutputControl {h} 1"},
                    CallCase{"Write", [](auto& can, auto h) { can.write(h, 0x123, Data, 3, 0x02); },
                             "canWrite {h} 291 3 2 data=11 22 33"},
                    CallCase{"WriteExtendedFull",
                             [](auto& can, auto h) { can.write(h, 0x1ABCDE, Data, 8, 0x04); },
                             "canWrite {h} 1752286 8 4 data=11 22 33 44 55 66 77 88"},
                    CallCase{"WriteNothing",
                             [](auto& can, auto h) { can.write(h, 0x7FF, nullptr, 0, 0x02); },
                             "canWrite {h} 2047 0 2"},
                    CallCase{"IoCtlOwnFrames",
                             [](auto& can, auto h) {
                                 std::uint8_t one = 1;
                                 can.ioctl(h, 20, &one, 1);
                             },
                             "canIoCtl {h} 20 1 data=01"},
                    CallCase{"IoCtlFlush", [](auto& can, auto h) { can.ioctl(h, 11, nullptr, 0); },
                             "canIoCtl {h} 11 0"},
                    CallCase{"ReadWait",
                             [](auto& can, auto h) {
                                 std::int32_t id;
                                 std::uint8_t data[8];
                                 std::uint32_t dlc, flags, time;
                                 can.readWait(h, &id, data, &dlc, &flags, &time, 30);
                             },
                             "canReadWait {h} 30"},
                    CallCase{"ReadSpecific",
                             [](auto& can, auto h) {
                                 std::uint8_t data[8];
                                 std::uint32_t dlc, flags, time;
                                 can.readSpecific(h, 0x55, data, &dlc, &flags, &time);
                             },
                             "canReadSpecific {h} 85"},
                    CallCase{"TranslateBaud",
                             [](auto& can, auto) {
                                 std::int32_t bitrate = -7;
                                 std::uint32_t tseg1, tseg2, sjw, samples, sync;
                                 can.translateBaud(&bitrate, &tseg1, &tseg2, &sjw, &samples, &sync);
                             },
                             "canTranslateBaud -7"},
                    CallCase{"Accept", [](auto& can, auto h) { can.accept(h, 0x300, 4); },
                             "canAccept {h} 768 4"},
                    CallCase{"ReadStatus",
                             [](auto& can, auto h) {
                                 std::uint32_t bits;
                                 can.readStatus(h, &bits);
                             },
                             "canReadStatus {h}"},
                    CallCase{"BusOff", [](auto& can, auto h) { can.busOff(h); }, "canBusOff {h}"},
                    CallCase{"Close", [](auto& can, auto h) { can.close(h); }, "canClose {h}"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanLibraryTest, LogOutlastsTheLibraryBeingReleasedAndLoadedAgain) {
    for (int load = 0; load < 2; ++load) {
        LoadedCanLibrary can(L"quorvelvncomm32.dll");
        can.initialize();
        std::int32_t count = 0;
        can.count(&count);
        can.unload();
        can.unload();
    }
    const vg730emu::CanCallLog log = control.Calls();
    EXPECT_EQ(Texts(log), (std::vector<std::string>{
                              "canInitializeLibrary", "canGetNumberOfChannels", "canUnloadLibrary",
                              "canUnloadLibrary", "canInitializeLibrary", "canGetNumberOfChannels",
                              "canUnloadLibrary", "canUnloadLibrary"}));
    EXPECT_EQ(log.total, 8u);
    EXPECT_EQ(log.Count("canInitializeLibrary"), 2u);
    EXPECT_EQ(log.Count("canUnloadLibrary"), 4u);
    ASSERT_EQ(log.calls.size(), 8u);
    EXPECT_EQ(log.calls.front().sequence, 1u);
    EXPECT_EQ(log.calls.back().sequence, 8u);
}

// Logging must cost the caller no driver request: the library writes into the section the
// driver shares, which is there for every process to map.
TEST_F(CanLibraryTest, LibraryLogsIntoTheSectionTheDriverShares) {
    UniqueHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, L"Global\\Vg730EmuCallLog"));
    ASSERT_TRUE(section.valid()) << GetLastError();
    const auto* view =
        static_cast<const Vg730CallLog*>(MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    const ScopeGuard unmap([view] { UnmapViewOfFile(view); });
    EXPECT_EQ(view->size, sizeof(Vg730CallLog));
    const std::uint32_t before = view->next;
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    EXPECT_EQ(view->next, before + 1);
    const Vg730Call& call = view->calls[before % VG730_CALL_LOG_SIZE];
    EXPECT_EQ(call.sequence, before + 1);
    EXPECT_EQ(call.entry, vg730emu::CanLibEntryIndex("canInitializeLibrary"));
}

TEST_F(CanLibraryTest, EntryAnsweringAFaultIsLoggedToo) {
    control.SetEntryStatus("canWrite", -15);
    LoadedCanLibrary can(L"quorvelvncomm32.dll");
    can.initialize();
    const std::int32_t handle = OpenOnBus(can, 0);
    ASSERT_GE(handle, 0);
    control.ClearCalls();
    EXPECT_EQ(can.write(handle, 0x10, Data, 1, 0x02), -15);
    EXPECT_EQ(Texts(control.Calls()),
              std::vector<std::string>{"canWrite " + std::to_string(handle) + " 16 1 2 data=11"});
}

TEST_F(CanLibraryTest, ToolPrintsAndClearsTheLog) {
    {
        LoadedCanLibrary can(L"quorvelvncomm32.dll");
        can.initialize();
        can.openChannel(0, 0x80);
        can.unload();
    }
    std::ostringstream out, err;
    ASSERT_EQ(vg730emu::RunCommand({"calls"}, out, err), 0) << err.str();
    std::vector<std::string> lines;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("calls=3"));
    EXPECT_TRUE(has("count.canOpenChannel=1"));
    EXPECT_TRUE(has("count.canClose=0"));
    EXPECT_TRUE(has("call=1 canInitializeLibrary"));
    EXPECT_TRUE(has("call=2 canOpenChannel 0 128"));
    EXPECT_TRUE(has("call=3 canUnloadLibrary"));

    ASSERT_EQ(vg730emu::RunCommand({"calls", "--clear"}, out, err), 0) << err.str();
    EXPECT_EQ(control.Calls().total, 0u);
}

} // namespace
