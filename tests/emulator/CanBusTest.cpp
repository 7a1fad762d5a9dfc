// Portable: the loopback buses of the emulated CAN library: delivery, own frames, filters,
// specific reads, queues, driver modes, exclusive opens, status and notifications.
#include "CanBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vg730emu;

struct Notification {
    std::uintptr_t window;
    std::int32_t handle;
    std::uint32_t event;
};

class RecordingNotifier : public CanNotifier {
public:
    void Notify(std::uintptr_t window, std::int32_t handle, std::uint32_t event) override {
        seen.push_back({window, handle, event});
    }
    int Count(std::int32_t handle, std::uint32_t event) const {
        int count = 0;
        for (const Notification& n : seen) {
            count += n.handle == handle && n.event == event;
        }
        return count;
    }
    std::vector<Notification> seen;
};

class CanBusTest : public testing::Test {
protected:
    std::int32_t OnBus(std::uint64_t channel, std::uint32_t flags = 0, bool own = false) {
        const std::int32_t handle = bus.Open(channel, flags, 0);
        EXPECT_GE(handle, 0);
        std::uint8_t on = own ? 1 : 0;
        EXPECT_EQ(bus.IoCtl(handle, CAN_IOCTL_OWN_FRAMES, &on, 1), CAN_OK);
        EXPECT_EQ(bus.BusOn(handle), CAN_OK);
        return handle;
    }
    std::int32_t Send(std::int32_t handle, std::int32_t id, std::uint32_t flags = CAN_MSG_STD) {
        const std::uint8_t data[2] = {static_cast<std::uint8_t>(id), 0x5A};
        return bus.Write(handle, id, data, 2, flags);
    }
    // Identifiers of the frames a handle can read now, in order.
    std::vector<std::int32_t> Drain(std::int32_t handle) {
        std::vector<std::int32_t> ids;
        CanFrame frame;
        while (bus.Read(handle, &frame, 0) == CAN_OK) {
            ids.push_back(frame.id);
        }
        return ids;
    }

    RecordingNotifier notifier;
    std::uint32_t clock = 100;
    CanBusSet bus{notifier, [this] { return clock; }};
};

TEST_F(CanBusTest, FramesReachEveryHandleOnTheSameBusOnly) {
    const std::int32_t a = OnBus(1);
    const std::int32_t b = OnBus(1);
    const std::int32_t other = OnBus(2);
    const std::int32_t off = bus.Open(1, 0, 0); // open but not on the bus
    ASSERT_EQ(Send(a, 0x11), CAN_OK);
    ASSERT_EQ(Send(b, 0x22), CAN_OK);
    EXPECT_EQ(Drain(a), std::vector<std::int32_t>{0x22});
    EXPECT_EQ(Drain(b), std::vector<std::int32_t>{0x11});
    EXPECT_TRUE(Drain(other).empty());
    EXPECT_TRUE(Drain(off).empty());
}

TEST_F(CanBusTest, OwnFramesOnlyWhenAskedFor) {
    const std::int32_t own = OnBus(1, 0, true);
    const std::int32_t plain = OnBus(1, 0, false);
    clock = 777;
    ASSERT_EQ(Send(own, 0x101), CAN_OK);
    ASSERT_EQ(Send(plain, 0x102), CAN_OK);
    EXPECT_EQ(Drain(own), (std::vector<std::int32_t>{0x101, 0x102}));
    EXPECT_EQ(Drain(plain), std::vector<std::int32_t>{0x101});
    ASSERT_EQ(Send(own, 0x103), CAN_OK);
    CanFrame frame;
    ASSERT_EQ(bus.Read(own, &frame, 0), CAN_OK);
    EXPECT_EQ(frame.time, 777u);
    EXPECT_EQ(frame.dlc, 2u);
    EXPECT_EQ(frame.data[0], 0x03);
    EXPECT_EQ(frame.flags, static_cast<std::uint32_t>(CAN_MSG_STD));
}

struct FilterCase {
    const char* name;
    std::uint32_t maskFlag, mask, codeFlag, code;
    std::vector<std::pair<std::int32_t, std::uint32_t>> sent; // id, flags
    std::vector<std::int32_t> received;
};

class CanFilterTest : public CanBusTest, public testing::WithParamInterface<FilterCase> {};

TEST_P(CanFilterTest, AcceptanceFilterKeepsMatchingFrames) {
    const FilterCase& c = GetParam();
    const std::int32_t sender = OnBus(1);
    const std::int32_t receiver = OnBus(1);
    ASSERT_EQ(bus.Accept(receiver, c.mask, c.maskFlag), CAN_OK);
    ASSERT_EQ(bus.Accept(receiver, c.code, c.codeFlag), CAN_OK);
    for (const auto& [id, flags] : c.sent) {
        ASSERT_EQ(Send(sender, id, flags), CAN_OK);
    }
    EXPECT_EQ(Drain(receiver), c.received);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, CanFilterTest,
    testing::Values(FilterCase{"StandardExact",
                               CAN_FILTER_STD_MASK,
                               0x7FF,
                               CAN_FILTER_STD_CODE,
                               0x123,
                               {{0x123, CAN_MSG_STD}, {0x124, CAN_MSG_STD}, {0x123, CAN_MSG_EXT}},
                               {0x123, 0x123}},
                    FilterCase{"StandardGroup",
                               CAN_FILTER_STD_MASK,
                               0x700,
                               CAN_FILTER_STD_CODE,
                               0x300,
                               {{0x3AB, CAN_MSG_STD}, {0x4AB, CAN_MSG_STD}, {0x300, CAN_MSG_STD}},
                               {0x3AB, 0x300}},
                    FilterCase{
                        "ExtendedExact",
                        CAN_FILTER_EXT_MASK,
                        0x1FFFFFFF,
                        CAN_FILTER_EXT_CODE,
                        0x1ABCDE,
                        {{0x1ABCDE, CAN_MSG_EXT}, {0x1ABCDF, CAN_MSG_EXT}, {0x123, CAN_MSG_STD}},
                        {0x1ABCDE, 0x123}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanBusTest, SpecificReadsTakeTheirFrameAndSkipDropsTheOnesBefore) {
    const std::int32_t sender = OnBus(1);
    const std::int32_t receiver = OnBus(1);
    for (std::int32_t id : {1, 2, 3, 2, 4}) {
        ASSERT_EQ(Send(sender, id), CAN_OK);
    }
    CanFrame frame;
    const std::int32_t three = 3, two = 2, nine = 9;
    ASSERT_EQ(bus.Read(receiver, &frame, 0, &three), CAN_OK);
    EXPECT_EQ(frame.id, 3);
    EXPECT_EQ(bus.Read(receiver, &frame, 0, &nine), CAN_ERR_NOMSG);
    EXPECT_EQ(bus.ReadSync(receiver, 0, &nine), CAN_ERR_TIMEOUT);
    EXPECT_EQ(bus.ReadSync(receiver, 0, &two), CAN_OK);
    // Skip: the first 2 is taken and the 1 before it is dropped; the rest stays.
    ASSERT_EQ(bus.Read(receiver, &frame, 0, &two, true), CAN_OK);
    EXPECT_EQ(frame.id, 2);
    EXPECT_EQ(Drain(receiver), (std::vector<std::int32_t>{2, 4}));
}

TEST_F(CanBusTest, ReadWaitsForAFrameFromAnotherThread) {
    const std::int32_t sender = OnBus(1);
    const std::int32_t receiver = OnBus(1);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Send(sender, 0x77);
    });
    CanFrame frame;
    const std::int32_t status = bus.Read(receiver, &frame, 5000);
    writer.join();
    ASSERT_EQ(status, CAN_OK);
    EXPECT_EQ(frame.id, 0x77);
    EXPECT_EQ(bus.Read(receiver, &frame, 20), CAN_ERR_NOMSG);
}

TEST_F(CanBusTest, SilentAndOffHandlesKeepTheirFramesWaiting) {
    const std::int32_t writer = OnBus(1);
    const std::int32_t reader = OnBus(1);
    ASSERT_EQ(bus.SetDriverType(writer, CAN_DRIVER_SILENT), CAN_OK);
    ASSERT_EQ(Send(writer, 1), CAN_OK);
    std::uint32_t waiting = 0;
    ASSERT_EQ(bus.IoCtl(writer, CAN_IOCTL_TX_QUEUE_LENGTH, &waiting, 4), CAN_OK);
    EXPECT_EQ(waiting, 1u);
    EXPECT_TRUE(Drain(reader).empty());
    std::uint32_t status = 0;
    ASSERT_EQ(bus.ReadStatus(writer, 0, &status), CAN_OK);
    EXPECT_TRUE(status & CAN_STAT_TX_PENDING);
    ASSERT_EQ(bus.SetDriverType(writer, CAN_DRIVER_NORMAL), CAN_OK);
    EXPECT_EQ(Drain(reader), std::vector<std::int32_t>{1});
    EXPECT_EQ(bus.SetDriverType(writer, 2), CAN_ERR_PARAM);

    ASSERT_EQ(bus.BusOff(writer), CAN_OK);
    ASSERT_EQ(Send(writer, 2), CAN_OK);
    EXPECT_TRUE(Drain(reader).empty());
    ASSERT_EQ(bus.BusOn(writer), CAN_OK); // waiting frames go out when it is back on
    EXPECT_EQ(Drain(reader), std::vector<std::int32_t>{2});
}

TEST_F(CanBusTest, QueuesAreBounded) {
    const std::int32_t writer = OnBus(1);
    const std::int32_t reader = OnBus(1);
    std::uint8_t hold = 1;
    ASSERT_EQ(bus.IoCtl(writer, CAN_IOCTL_HOLD_TX, &hold, 1), CAN_OK);
    for (std::uint32_t i = 0; i < CAN_TX_QUEUE_SIZE; ++i) {
        ASSERT_EQ(Send(writer, 1), CAN_OK) << i;
    }
    EXPECT_EQ(Send(writer, 1), CAN_ERR_TX_BUFFER_FULL);
    hold = 0;
    ASSERT_EQ(bus.IoCtl(writer, CAN_IOCTL_HOLD_TX, &hold, 1), CAN_OK);
    for (std::uint32_t i = 0; i < CAN_RX_QUEUE_SIZE; ++i) {
        ASSERT_EQ(Send(writer, 2), CAN_OK) << i;
    }
    std::uint32_t tx, rx, overruns;
    ASSERT_EQ(bus.ReadErrorCounters(reader, &tx, &rx, &overruns), CAN_OK);
    // 256 held frames and 1024 more were sent; the receive queue holds 1024.
    EXPECT_EQ(overruns, static_cast<std::uint32_t>(CAN_TX_QUEUE_SIZE));
    EXPECT_EQ(Drain(reader).size(), static_cast<std::size_t>(CAN_RX_QUEUE_SIZE));
}

TEST_F(CanBusTest, ExclusiveOpensStandAlone) {
    const std::int32_t exclusive = bus.Open(1, CAN_OPEN_EXCLUSIVE, 0);
    ASSERT_GE(exclusive, 0);
    EXPECT_EQ(bus.Open(1, 0, 0), CAN_ERR_IN_USE);
    EXPECT_EQ(bus.Open(1, CAN_OPEN_EXCLUSIVE, 0), CAN_ERR_IN_USE);
    EXPECT_GE(bus.Open(2, 0, 0), 0);
    ASSERT_EQ(bus.Close(exclusive), CAN_OK);
    const std::int32_t shared = bus.Open(1, 0, 0);
    ASSERT_GE(shared, 0);
    EXPECT_EQ(bus.Open(1, CAN_OPEN_EXCLUSIVE, 0), CAN_ERR_IN_USE);
    EXPECT_GT(shared, exclusive); // handles are not reused
}

TEST_F(CanBusTest, InvalidHandlesAndParameters) {
    CanFrame frame;
    EXPECT_EQ(bus.Write(5, 1, nullptr, 0, CAN_MSG_STD), CAN_ERR_INVALID_HANDLE);
    EXPECT_EQ(bus.Read(5, &frame, 0), CAN_ERR_INVALID_HANDLE);
    EXPECT_EQ(bus.BusOn(-1), CAN_ERR_INVALID_HANDLE);
    EXPECT_EQ(bus.Close(5), CAN_ERR_INVALID_HANDLE);
    const std::int32_t handle = OnBus(1);
    EXPECT_EQ(bus.Write(handle, 0x800, nullptr, 0, CAN_MSG_STD), CAN_ERR_PARAM);
    EXPECT_EQ(bus.Write(handle, 0x20000000, nullptr, 0, CAN_MSG_EXT), CAN_ERR_PARAM);
    EXPECT_EQ(bus.Write(handle, 1, nullptr, 1, CAN_MSG_STD), CAN_ERR_PARAM);
    EXPECT_EQ(bus.Write(handle, 1, nullptr, 0, CAN_MSG_STD | CAN_MSG_EXT), CAN_ERR_PARAM);
    EXPECT_EQ(bus.SetBusParams(handle, BusParams{250000, 17, 3, 1, 1, 0}), CAN_ERR_PARAM);
    EXPECT_EQ(bus.SetBusParams(handle, BusParams{250000, 4, 3, 1, 2, 0}), CAN_ERR_PARAM);
    EXPECT_EQ(bus.SetBusParams(handle, BusParams{-99, 4, 3, 1, 1, 0}), CAN_ERR_PARAM);
    ASSERT_EQ(bus.SetBusParams(handle, BusParams{-2, 0, 0, 0, 0, 0}), CAN_OK);
    BusParams params;
    ASSERT_EQ(bus.GetBusParams(handle, &params), CAN_OK);
    EXPECT_EQ(params.bitrate, 500000);
    EXPECT_GT(params.tseg1, 0u);
    EXPECT_EQ(bus.Accept(handle, 0, 99), CAN_ERR_PARAM);
    EXPECT_EQ(bus.IoCtl(handle, 12345, nullptr, 0), CAN_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(bus.IoCtl(handle, CAN_IOCTL_OWN_FRAMES, nullptr, 0), CAN_ERR_PARAM);
}

TEST_F(CanBusTest, NotificationsGoToTheWindowsThatAskedForThem) {
    const std::int32_t a = OnBus(1);
    const std::int32_t b = OnBus(1);
    ASSERT_EQ(bus.SetNotify(a, 0x1000, CAN_NOTIFY_TX | CAN_NOTIFY_STATUS), CAN_OK);
    ASSERT_EQ(bus.SetNotify(b, 0x2000, CAN_NOTIFY_RX | CAN_NOTIFY_ERROR | CAN_NOTIFY_STATUS),
              CAN_OK);
    ASSERT_EQ(Send(a, 1), CAN_OK);
    EXPECT_EQ(notifier.Count(a, CAN_EVENT_TX), 1);
    EXPECT_EQ(notifier.Count(b, CAN_EVENT_RX), 1);
    EXPECT_EQ(notifier.Count(a, CAN_EVENT_RX), 0); // not asked for
    EXPECT_EQ(notifier.Count(b, CAN_EVENT_TX), 0);

    std::uint32_t bits = CAN_STAT_ERROR_PASSIVE | CAN_STAT_TX_ERROR;
    ASSERT_EQ(bus.IoCtl(a, CAN_IOCTL_RAISE_STATUS, &bits, 4), CAN_OK);
    EXPECT_EQ(notifier.Count(a, CAN_EVENT_STATUS), 1);
    EXPECT_EQ(notifier.Count(b, CAN_EVENT_STATUS), 1);
    std::uint32_t status = 0;
    ASSERT_EQ(bus.ReadStatus(b, 0, &status), CAN_OK);
    EXPECT_EQ(status & 0x81, 0x81u);

    ASSERT_EQ(bus.IoCtl(a, CAN_IOCTL_ERROR_FRAME, nullptr, 0), CAN_OK);
    EXPECT_EQ(notifier.Count(b, CAN_EVENT_ERROR), 1);
    CanFrame frame;
    ASSERT_EQ(bus.Read(b, &frame, 0), CAN_OK); // the data frame first
    ASSERT_EQ(bus.Read(b, &frame, 0), CAN_OK);
    EXPECT_TRUE(frame.flags & CAN_MSG_ERROR_FRAME);
    for (const Notification& n : notifier.seen) {
        EXPECT_EQ(n.window, n.handle == a ? 0x1000u : 0x2000u);
    }
    ASSERT_EQ(bus.SetNotify(b, 0, CAN_NOTIFY_RX), CAN_OK); // no window: nothing posted
    const std::size_t before = notifier.seen.size();
    ASSERT_EQ(Send(a, 2), CAN_OK);
    EXPECT_EQ(notifier.seen.size(), before + 1); // only a's transmit event
}

struct InjectCase {
    const char* name;
    CanInjectedFrame frame;
    std::uint32_t event; // the notification it raises
};

class CanInjectTest : public CanBusTest, public testing::WithParamInterface<InjectCase> {};

TEST_P(CanInjectTest, ReceivedFrameReachesEveryHandleOnTheBusTheRaiserToo) {
    const CanInjectedFrame& injected = GetParam().frame;
    const std::int32_t raiser = OnBus(1); // does not want its own frames: this is not one
    const std::int32_t other = OnBus(1);
    const std::int32_t off = bus.Open(1, 0, 0);
    const std::int32_t elsewhere = OnBus(2);
    for (std::int32_t h : {raiser, other, off, elsewhere}) {
        ASSERT_EQ(bus.SetNotify(h, 0x77, CAN_NOTIFY_RX | CAN_NOTIFY_ERROR), CAN_OK);
    }
    clock = 4242;
    ASSERT_EQ(bus.IoCtl(raiser, CAN_IOCTL_INJECT_FRAME, const_cast<CanInjectedFrame*>(&injected),
                        sizeof(injected)),
              CAN_OK);
    for (std::int32_t h : {raiser, other}) {
        CanFrame frame;
        ASSERT_EQ(bus.Read(h, &frame, 0), CAN_OK) << h;
        EXPECT_EQ(frame.id, injected.id);
        EXPECT_EQ(frame.dlc, injected.dlc);
        EXPECT_EQ(frame.flags, injected.flags);
        EXPECT_EQ(std::memcmp(frame.data, injected.data, injected.dlc), 0);
        EXPECT_EQ(frame.time, 4242u);
        EXPECT_EQ(notifier.Count(h, GetParam().event), 1) << h;
        EXPECT_EQ(bus.Read(h, &frame, 0), CAN_ERR_NOMSG);
    }
    EXPECT_TRUE(Drain(off).empty());
    EXPECT_TRUE(Drain(elsewhere).empty());
    EXPECT_EQ(notifier.seen.size(), 2u);
    std::uint32_t tx, rx, overruns;
    ASSERT_EQ(bus.ReadErrorCounters(other, &tx, &rx, &overruns), CAN_OK);
    EXPECT_EQ(rx, 0u); // only the error frame hook counts receive errors
}

INSTANTIATE_TEST_SUITE_P(
    Frames, CanInjectTest,
    testing::Values(
        InjectCase{"Standard", {0x123, 3, CAN_MSG_STD, {1, 2, 3}}, CAN_EVENT_RX},
        InjectCase{"Extended", {0x1ABCDEF, 8, CAN_MSG_EXT, {9, 8, 7, 6, 5, 4, 3, 2}}, CAN_EVENT_RX},
        InjectCase{"Remote", {0x10, 0, CAN_MSG_STD | CAN_MSG_RTR, {}}, CAN_EVENT_RX},
        InjectCase{"ExtendedErrorFrame",
                   {0x1234, 2, CAN_MSG_ERROR_FRAME | CAN_MSG_EXT, {0xEE, 0xFF}},
                   CAN_EVENT_ERROR}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanBusTest, ErrorFrameHookTakesExtraFlagsAndCountsAReceiveError) {
    const std::int32_t h = OnBus(1);
    std::uint32_t extended = CAN_MSG_EXT;
    ASSERT_EQ(bus.IoCtl(h, CAN_IOCTL_ERROR_FRAME, &extended, 4), CAN_OK);
    ASSERT_EQ(bus.IoCtl(h, CAN_IOCTL_ERROR_FRAME, nullptr, 0), CAN_OK);
    CanFrame frame;
    ASSERT_EQ(bus.Read(h, &frame, 0), CAN_OK);
    EXPECT_EQ(frame.flags, 0x24u);
    ASSERT_EQ(bus.Read(h, &frame, 0), CAN_OK);
    EXPECT_EQ(frame.flags, 0x20u);
    std::uint32_t tx, rx, overruns;
    ASSERT_EQ(bus.ReadErrorCounters(h, &tx, &rx, &overruns), CAN_OK);
    EXPECT_EQ(rx, 2u);
}

TEST_F(CanBusTest, InjectedFramesPassTheFiltersAsWrittenOnesDo) {
    const std::int32_t h = OnBus(1);
    ASSERT_EQ(bus.Accept(h, 0x7FF, CAN_FILTER_STD_MASK), CAN_OK);
    ASSERT_EQ(bus.Accept(h, 0x300, CAN_FILTER_STD_CODE), CAN_OK);
    CanInjectedFrame frame{0x300, 1, CAN_MSG_STD, {0x42}};
    ASSERT_EQ(bus.IoCtl(h, CAN_IOCTL_INJECT_FRAME, &frame, sizeof(frame)), CAN_OK);
    frame.id = 0x301;
    ASSERT_EQ(bus.IoCtl(h, CAN_IOCTL_INJECT_FRAME, &frame, sizeof(frame)), CAN_OK);
    EXPECT_EQ(Drain(h), std::vector<std::int32_t>{0x300});

    frame.dlc = 9;
    EXPECT_EQ(bus.IoCtl(h, CAN_IOCTL_INJECT_FRAME, &frame, sizeof(frame)), CAN_ERR_PARAM);
    frame.dlc = 1;
    EXPECT_EQ(bus.IoCtl(h, CAN_IOCTL_INJECT_FRAME, &frame, sizeof(frame) - 1), CAN_ERR_PARAM);
    EXPECT_EQ(bus.IoCtl(h, CAN_IOCTL_INJECT_FRAME, nullptr, sizeof(frame)), CAN_ERR_PARAM);
    EXPECT_TRUE(Drain(h).empty());
}

TEST(TranslateBaud, PredefinedCodes) {
    struct Case {
        std::int32_t code, bitrate;
    };
    for (const Case c : {Case{-1, 1000000}, Case{-2, 500000}, Case{-3, 250000}, Case{-4, 125000},
                         Case{-5, 100000}, Case{-7, 50000}, Case{-9, 10000}}) {
        std::int32_t bitrate = c.code;
        std::uint32_t tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, sync = 9;
        ASSERT_EQ(TranslateBaud(&bitrate, &tseg1, &tseg2, &sjw, &samples, &sync), CAN_OK) << c.code;
        EXPECT_EQ(bitrate, c.bitrate);
        EXPECT_GE(tseg1, 1u);
        EXPECT_GE(tseg2, 1u);
        EXPECT_EQ(sjw, 1u);
        EXPECT_EQ(samples, 1u);
        EXPECT_EQ(sync, 0u);
    }
    std::int32_t bitrate = 250000;
    std::uint32_t t1, t2, sjw, samples, sync;
    EXPECT_EQ(TranslateBaud(&bitrate, &t1, &t2, &sjw, &samples, &sync), CAN_ERR_PARAM);
    EXPECT_EQ(bitrate, 250000);
    EXPECT_EQ(TranslateBaud(nullptr, &t1, &t2, &sjw, &samples, &sync), CAN_ERR_PARAM);
}

} // namespace
