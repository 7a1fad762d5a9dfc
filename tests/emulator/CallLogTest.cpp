// Portable: the CAN library's call log kept by the emulator, read back page by page and printed
// as "vg730emu calls" does, against the control requests the driver passes on.
#include "CallLog.h"
#include "CanLibEntries.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vg730emu;

class CallLogTest : public testing::Test {
protected:
    CallLogTest() : emulator(std::make_unique<Vg730Emulator>()) {
        vg730_emulator_init(emulator.get());
    }

    // Logs a call as the library does; returns the result word the emulator answers.
    std::int32_t Log(std::string_view entry, std::initializer_list<std::int64_t> args,
                     std::initializer_list<std::uint8_t> data = {}) {
        Vg730CallRequest request{};
        request.call.entry = CanLibEntryIndex(entry);
        for (std::int64_t arg : args) {
            request.call.args[request.call.arg_count++] = arg;
        }
        for (std::uint8_t byte : data) {
            request.call.data[request.call.data_length++] = byte;
        }
        return Send(VG730_CTL_CALL, request);
    }
    template <typename T> std::int32_t Send(std::uint32_t code, T& request) {
        std::uint32_t returned = 0;
        EXPECT_EQ(
            vg730_emulator_control(emulator.get(), 0, code, &request, sizeof(request), &returned),
            VG730_OK);
        EXPECT_EQ(returned, sizeof(request));
        return request.result;
    }
    CanCallLog Read() {
        pages = 0;
        return ReadCallLog([this](Vg730CallsRequest& page) {
            ++pages;
            Send(VG730_CTL_CALLS, page);
        });
    }
    // The printed log without its count lines.
    std::vector<std::string> CallLines() {
        std::vector<std::string> lines;
        for (const std::string& line : CallLogLines(Read())) {
            if (line.rfind("call=", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    std::unique_ptr<Vg730Emulator> emulator;
    int pages = 0;
};

TEST_F(CallLogTest, CallsComeBackInOrderWithArgumentsAndData) {
    ASSERT_EQ(Log("canInitializeLibrary", {}), VG730_OK);
    ASSERT_EQ(Log("canOpenChannel", {0, 0xA8}), VG730_OK);
    ASSERT_EQ(Log("canIoCtl", {0, 20, 1}, {0x01}), VG730_OK);
    ASSERT_EQ(Log("canSetBusParams", {0, 1000000, 4, 3, 1, 1, 0}), VG730_OK);
    ASSERT_EQ(Log("canWrite", {0, 0x1ABCDE, 8, 4}, {1, 2, 3, 4, 5, 6, 7, 0xFF}), VG730_OK);
    ASSERT_EQ(Log("canTranslateBaud", {-7}), VG730_OK);
    ASSERT_EQ(Log("canUnloadLibrary", {}), VG730_OK);
    ASSERT_EQ(Log("canUnloadLibrary", {}), VG730_OK);
    EXPECT_EQ(CallLines(), (std::vector<std::string>{
                               "call=1 canInitializeLibrary",
                               "call=2 canOpenChannel 0 168",
                               "call=3 canIoCtl 0 20 1 data=01",
                               "call=4 canSetBusParams 0 1000000 4 3 1 1 0",
                               "call=5 canWrite 0 1752286 8 4 data=01 02 03 04 05 06 07 ff",
                               "call=6 canTranslateBaud -7",
                               "call=7 canUnloadLibrary",
                               "call=8 canUnloadLibrary",
                           }));
    const CanCallLog log = Read();
    EXPECT_EQ(log.total, 8u);
    EXPECT_EQ(log.Count("canUnloadLibrary"), 2u);
    EXPECT_EQ(log.Count("canInitializeLibrary"), 1u);
    EXPECT_EQ(log.Count("canClose"), 0u);
    EXPECT_EQ(log.Count("canFly"), 0u);
    ASSERT_EQ(log.Of("canOpenChannel").size(), 1u);
    EXPECT_EQ(log.Of("canOpenChannel")[0].args, (std::vector<std::int64_t>{0, 0xA8}));
    EXPECT_EQ(log.Of("canWrite")[0].data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 0xFF}));
}

TEST_F(CallLogTest, CountLinesNameEveryEntry) {
    ASSERT_EQ(Log("canWrite", {0, 1, 0, 2}), VG730_OK);
    ASSERT_EQ(Log("canWrite", {0, 2, 0, 2}), VG730_OK);
    const std::vector<std::string> lines = CallLogLines(Read());
    ASSERT_GE(lines.size(), 1u + VG730_CAN_ENTRY_COUNT);
    EXPECT_EQ(lines[0], "calls=2");
    for (std::uint32_t i = 0; i < VG730_CAN_ENTRY_COUNT; ++i) {
        const std::string name(CanLibEntryNames[i]);
        EXPECT_EQ(lines[1 + i], "count." + name + "=" + (name == "canWrite" ? "2" : "0"));
    }
}

struct PageCase {
    const char* name;
    std::uint32_t calls;
    int pages; // requests needed to read them all
};

class CallLogPageTest : public CallLogTest, public testing::WithParamInterface<PageCase> {};

TEST_P(CallLogPageTest, PagesJoinWithoutGapsOrRepeats) {
    for (std::uint32_t i = 0; i < GetParam().calls; ++i) {
        ASSERT_EQ(Log("canReadTimer", {static_cast<std::int64_t>(i)}), VG730_OK);
    }
    const CanCallLog log = Read();
    EXPECT_EQ(pages, GetParam().pages);
    ASSERT_EQ(log.calls.size(), GetParam().calls);
    for (std::uint32_t i = 0; i < GetParam().calls; ++i) {
        EXPECT_EQ(log.calls[i].sequence, i + 1);
        EXPECT_EQ(log.calls[i].args, (std::vector<std::int64_t>{i}));
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, CallLogPageTest,
                         testing::Values(PageCase{"None", 0, 1}, PageCase{"One", 1, 1},
                                         PageCase{"FullPage", VG730_CALL_PAGE, 2},
                                         PageCase{"PageAndOne", VG730_CALL_PAGE + 1, 2},
                                         PageCase{"Several", 3 * VG730_CALL_PAGE + 7, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallLogTest, FullLogKeepsTheNewestAndCountsOn) {
    const std::uint32_t calls = VG730_CALL_LOG_SIZE + 5;
    for (std::uint32_t i = 1; i <= calls; ++i) {
        ASSERT_EQ(Log(i % 2 ? "canRead" : "canWrite", {static_cast<std::int64_t>(i)}), VG730_OK);
    }
    const CanCallLog log = Read();
    EXPECT_EQ(log.total, calls);
    EXPECT_EQ(log.Count("canRead") + log.Count("canWrite"), calls);
    ASSERT_EQ(log.calls.size(), VG730_CALL_LOG_SIZE);
    EXPECT_EQ(log.calls.front().sequence, 6u);
    EXPECT_EQ(log.calls.front().args, (std::vector<std::int64_t>{6}));
    EXPECT_EQ(log.calls.back().sequence, calls);
    EXPECT_EQ(log.calls.back().entry, "canRead");
}

TEST_F(CallLogTest, ClearAndResetEmptyIt) {
    for (std::uint32_t code : {VG730_CTL_CLEAR_CALLS, VG730_CTL_RESET}) {
        ASSERT_EQ(Log("canBusOn", {3}), VG730_OK);
        ASSERT_EQ(Log("canBusOff", {3}), VG730_OK);
        Vg730ControlResult request{};
        ASSERT_EQ(Send(code, request), VG730_OK);
        const CanCallLog empty = Read();
        EXPECT_EQ(empty.total, 0u) << code;
        EXPECT_TRUE(empty.calls.empty()) << code;
        EXPECT_EQ(empty.Count("canBusOn"), 0u) << code;
        // Numbering starts again.
        ASSERT_EQ(Log("canClose", {3}), VG730_OK);
        ASSERT_EQ(Read().calls.size(), 1u);
        EXPECT_EQ(Read().calls[0].sequence, 1u) << code;
        ASSERT_EQ(Send(VG730_CTL_CLEAR_CALLS, request), VG730_OK);
    }
}

TEST_F(CallLogTest, RecordsOutOfRangeAreRefusedAndNotCounted) {
    auto request_with = [](auto change) {
        Vg730CallRequest request{};
        request.call.entry = CanLibEntryIndex("canWrite");
        change(request.call);
        return request;
    };
    Vg730CallRequest bad[] = {
        request_with([](Vg730Call& c) { c.entry = VG730_CAN_ENTRY_COUNT; }),
        request_with([](Vg730Call& c) { c.arg_count = VG730_CALL_ARGS + 1; }),
        request_with([](Vg730Call& c) { c.data_length = VG730_CALL_DATA + 1; }),
    };
    for (Vg730CallRequest& request : bad) {
        EXPECT_EQ(Send(VG730_CTL_CALL, request), VG730_FAIL_BAD_VALUE);
    }
    EXPECT_EQ(Read().total, 0u);
}

// The log as the library processes share it, written straight into its memory.
class SharedCallLogTest : public testing::Test {
protected:
    SharedCallLogTest() : log(std::make_unique<Vg730CallLog>()) { vg730_call_log_init(log.get()); }

    CanCallLog Read() {
        return ReadCallLog(
            [this](Vg730CallsRequest& page) { vg730_call_log_read(log.get(), &page); });
    }
    static Vg730Call Call(std::string_view entry, std::int64_t a, std::int64_t b) {
        Vg730Call call{};
        call.entry = CanLibEntryIndex(entry);
        call.arg_count = 2;
        call.args[0] = a;
        call.args[1] = b;
        return call;
    }

    std::unique_ptr<Vg730CallLog> log;
};

TEST_F(SharedCallLogTest, WritersAtOnceLoseNoCallAndTearNone) {
    constexpr int writers = 4, calls = 500; // under the log's size: every call is kept
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([this, w] {
            for (int i = 0; i < calls; ++i) {
                const Vg730Call call = Call(w % 2 ? "canWrite" : "canRead", w, i * 1000 + w);
                EXPECT_TRUE(vg730_call_log_record(log.get(), &call));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const CanCallLog read = Read();
    EXPECT_EQ(read.total, static_cast<std::uint32_t>(writers * calls));
    EXPECT_EQ(read.Count("canWrite") + read.Count("canRead"), read.total);
    ASSERT_EQ(read.calls.size(), read.total);
    std::vector<int> next(writers, 0); // each writer's calls come in its own order
    for (std::size_t i = 0; i < read.calls.size(); ++i) {
        const CanCall& call = read.calls[i];
        EXPECT_EQ(call.sequence, i + 1);
        ASSERT_EQ(call.args.size(), 2u);
        const int w = static_cast<int>(call.args[0]);
        ASSERT_TRUE(w >= 0 && w < writers);
        EXPECT_EQ(call.args[1], next[w] * 1000 + w) << "torn or out of order";
        EXPECT_EQ(call.entry, w % 2 ? "canWrite" : "canRead");
        next[w] += 1;
    }
}

TEST_F(SharedCallLogTest, NumbersWrapPastTheirRangeUnseen) {
    log->next = log->cleared_at = 0xFFFFFFFAu; // as after four thousand million calls
    for (int i = 0; i < 10; ++i) {
        const Vg730Call call = Call("canClose", i, 0);
        ASSERT_TRUE(vg730_call_log_record(log.get(), &call));
    }
    const CanCallLog read = Read();
    EXPECT_EQ(read.total, 10u);
    ASSERT_EQ(read.calls.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(read.calls[i].sequence, static_cast<std::uint32_t>(i + 1));
        EXPECT_EQ(read.calls[i].args[0], i);
    }
    vg730_call_log_clear(log.get());
    EXPECT_EQ(Read().total, 0u);
    EXPECT_TRUE(Read().calls.empty());
}

} // namespace
