// Portable: the CAN buses of the emulated CAN library inside one process. Every channel is a
// loopback bus: a frame written on a handle reaches every other handle of the same channel that
// is on the bus, in the order written, and the writer itself only when it asked for its own
// frames (canIoCtl 20 with 1). A frame received from the bus (the test hooks error frame and
// inject frame) reaches every handle of the channel that is on the bus, the one that raised it
// too. Buses do not reach other processes.
// Handles, bus parameters, transmit and receive queues, filters, status bits, error counters
// and the window notifications live here; the Windows side adds the gateways and the windows.
#pragma once

#include "CanSync.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace vg730emu {

// Statuses of the library: 0 success, negative failure.
enum CanStatus : std::int32_t {
    CAN_OK = 0,
    CAN_ERR_PARAM = -1,
    CAN_ERR_NOMSG = -2,
    CAN_ERR_NOTFOUND = -3,
    CAN_ERR_NOMEM = -4,
    CAN_ERR_NOCHANNELS = -5,
    CAN_ERR_IN_USE = -6,
    CAN_ERR_TIMEOUT = -7,
    CAN_ERR_NOT_INITIALIZED = -8,
    CAN_ERR_DRIVER = -9,
    CAN_ERR_INVALID_HANDLE = -10,
    CAN_ERR_TX_BUFFER_FULL = -13,
    CAN_ERR_DEVICE_GONE = -15,
    CAN_ERR_NOT_IMPLEMENTED = -32,
};
const char* CanStatusText(std::int32_t status);

// Open flags, message flags, notification flags and events, status bits, canIoCtl functions.
enum : std::uint32_t {
    CAN_OPEN_EXCLUSIVE = 0x08,
    CAN_OPEN_ACCEPT_VIRTUAL = 0x20,

    CAN_MSG_RTR = 0x01,
    CAN_MSG_STD = 0x02,
    CAN_MSG_EXT = 0x04,
    CAN_MSG_ERROR_FRAME = 0x20,

    CAN_NOTIFY_RX = 0x01,
    CAN_NOTIFY_TX = 0x02,
    CAN_NOTIFY_ERROR = 0x04,
    CAN_NOTIFY_STATUS = 0x08,
    CAN_NOTIFY_MESSAGE = 17378, // the window message
    CAN_EVENT_RX = 32000,       // low word of its lParam
    CAN_EVENT_TX = 32001,
    CAN_EVENT_ERROR = 32002,
    CAN_EVENT_STATUS = 32003,

    CAN_STAT_ERROR_PASSIVE = 0x01,
    CAN_STAT_BUS_OFF = 0x02,
    CAN_STAT_ERROR_WARNING = 0x04,
    CAN_STAT_ERROR_ACTIVE = 0x08,
    CAN_STAT_TX_PENDING = 0x10,
    CAN_STAT_RX_PENDING = 0x20,
    CAN_STAT_TX_ERROR = 0x80,

    CAN_DRIVER_OFF = 0,
    CAN_DRIVER_SILENT = 1,
    CAN_DRIVER_NORMAL = 4,

    CAN_FILTER_STD_MASK = 3,
    CAN_FILTER_STD_CODE = 4,
    CAN_FILTER_EXT_MASK = 5,
    CAN_FILTER_EXT_CODE = 6,

    CAN_IOCTL_TX_QUEUE_LENGTH = 9, // 4-byte buffer out: frames waiting to be sent
    CAN_IOCTL_FLUSH_RX = 10,
    CAN_IOCTL_FLUSH_TX = 11,
    CAN_IOCTL_OWN_FRAMES = 20, // 1-byte buffer in: 1 receive own frames, 0 not
    // Test hooks of the emulator.
    CAN_IOCTL_HOLD_TX = 0x7E01,      // 1-byte buffer: 1 frames wait in the queue, 0 send them
    CAN_IOCTL_RAISE_STATUS = 0x7E02, // 4-byte buffer: status bits of the channel; notifies
    // An error frame received on the channel: flags 0x20 or-ed with those of an optional
    // 4-byte buffer (0x04: extended identifier); counts a receive error; notifies.
    CAN_IOCTL_ERROR_FRAME = 0x7E03,
    CAN_IOCTL_SET_COUNTERS = 0x7E04, // 12-byte buffer: transmit, receive errors, overruns
    // A frame received on the channel as given (CanInjectedFrame); notifies a receive, or an
    // error when its flags hold 0x20.
    CAN_IOCTL_INJECT_FRAME = 0x7E05,

    CAN_TX_QUEUE_SIZE = 256,
    CAN_RX_QUEUE_SIZE = 1024,
};

struct CanFrame {
    std::int32_t id = 0;
    std::uint8_t data[8] = {};
    std::uint32_t dlc = 0;
    std::uint32_t flags = 0;
    std::uint32_t time = 0;
};

// The buffer of CAN_IOCTL_INJECT_FRAME, 20 bytes as laid out here.
struct CanInjectedFrame {
    std::int32_t id;
    std::uint32_t dlc; // 0..8
    std::uint32_t flags;
    std::uint8_t data[8];
};
static_assert(sizeof(CanInjectedFrame) == 20);

struct BusParams {
    std::int32_t bitrate = 0; // 0: not set
    std::uint32_t tseg1 = 0, tseg2 = 0, sjw = 0, samples = 0, syncmode = 0;
};

// The second parameter of a notification: the event in the low word, and in the high word the
// handle with bit 15 set, never 0, as a real library may fill it; its users read the low word
// only, and a user that forgets to mask it misses every event.
constexpr std::uint32_t CanNotifyLParam(std::uint32_t event, std::int32_t handle) {
    return (event & 0xFFFF) | (0x8000u | (static_cast<std::uint32_t>(handle) & 0x7FFF)) << 16;
}

// Where the library's notifications go: a window and the message's event code.
class CanNotifier {
public:
    virtual ~CanNotifier() = default;
    virtual void Notify(std::uintptr_t window, std::int32_t handle, std::uint32_t event) = 0;
};

// The library's own predefined bit rates (-1 .. -9; -7 is 50 kbit/s).
std::int32_t TranslateBaud(std::int32_t* bitrate, std::uint32_t* tseg1, std::uint32_t* tseg2,
                           std::uint32_t* sjw, std::uint32_t* samples, std::uint32_t* syncmode);

class CanBusSet {
public:
    // clock: milliseconds for time stamps and the timer.
    CanBusSet(CanNotifier& notifier, std::function<std::uint32_t()> clock);

    // channel: any number naming the bus; generation: what the caller checks later (the life of
    // the gateway the handle was opened in). Returns the handle (0 or more) or a status.
    std::int32_t Open(std::uint64_t channel, std::uint32_t flags, std::uint32_t generation);
    std::int32_t Close(std::int32_t handle);
    void CloseAll();
    // The bus and generation of a handle; false when it is no handle.
    bool Lookup(std::int32_t handle, std::uint64_t* channel, std::uint32_t* generation);

    std::int32_t SetBusParams(std::int32_t handle, const BusParams& params);
    std::int32_t GetBusParams(std::int32_t handle, BusParams* params);
    std::int32_t SetDriverType(std::int32_t handle, std::uint32_t type);
    std::int32_t GetDriverType(std::int32_t handle, std::uint32_t* type);
    std::int32_t BusOn(std::int32_t handle);
    std::int32_t BusOff(std::int32_t handle);
    std::int32_t SetNotify(std::int32_t handle, std::uintptr_t window, std::uint32_t flags);
    std::int32_t Accept(std::int32_t handle, std::uint32_t envelope, std::uint32_t flag);

    std::int32_t Write(std::int32_t handle, std::int32_t id, const void* data, std::uint32_t dlc,
                       std::uint32_t flags);
    // Waits until the transmit queue is empty.
    std::int32_t WriteSync(std::int32_t handle, std::uint32_t timeout_ms);
    // Takes the first frame (of the identifier when one is given); waits up to timeout_ms.
    // skip: frames before the one of that identifier are dropped.
    std::int32_t Read(std::int32_t handle, CanFrame* frame, std::uint32_t timeout_ms,
                      const std::int32_t* id = nullptr, bool skip = false);
    // Waits until a frame (of the identifier when one is given) is there, without taking it.
    std::int32_t ReadSync(std::int32_t handle, std::uint32_t timeout_ms,
                          const std::int32_t* id = nullptr);

    // extra: status bits the gateway itself reports.
    std::int32_t ReadStatus(std::int32_t handle, std::uint32_t extra, std::uint32_t* bits);
    std::int32_t ReadErrorCounters(std::int32_t handle, std::uint32_t* tx, std::uint32_t* rx,
                                   std::uint32_t* overruns);
    std::int32_t IoCtl(std::int32_t handle, std::uint32_t function, void* buffer,
                       std::uint32_t length);
    std::uint32_t Now() const { return FClock(); }

private:
    struct Handle {
        std::uint64_t channel = 0;
        std::uint32_t generation = 0;
        bool exclusive = false;
        bool onBus = false;
        bool ownFrames = false;
        BusParams params;
        std::uint32_t driverType = CAN_DRIVER_NORMAL;
        std::uintptr_t window = 0;
        std::uint32_t notifyFlags = 0;
        std::uint32_t stdMask = 0, stdCode = 0, extMask = 0, extCode = 0;
        std::deque<CanFrame> rx, tx;
        std::uint32_t txErrors = 0, rxErrors = 0, overruns = 0;
    };
    struct Bus {
        bool hold = false;
        std::uint32_t status = 0; // raised by the test hook
    };

    Handle* find(std::int32_t handle);
    bool accepts(const Handle& h, const CanFrame& frame) const;
    void notify(std::int32_t handle, const Handle& h, std::uint32_t flag, std::uint32_t event);
    void notify_bus(std::uint64_t channel, std::uint32_t flag, std::uint32_t event);
    // Sends what waits in the transmit queues of a bus, as far as the bus lets it.
    void transmit(std::uint64_t channel);
    void deliver(std::int32_t from, const CanFrame& frame, std::uint64_t channel);
    // A frame from the bus itself: to every handle of the channel that is on the bus.
    void receive(std::uint64_t channel, const CanFrame& frame, bool countsAsError);
    // Waits with the lock held until ready() or the time is up.
    template <typename Ready>
    bool wait(std::unique_lock<CanLock>& lock, std::uint32_t timeout_ms, Ready ready);

    CanNotifier& FNotifier;
    std::function<std::uint32_t()> FClock;
    CanLock FLock;
    CanSignal FChanged;
    std::map<std::int32_t, Handle> FHandles;
    std::map<std::uint64_t, Bus> FBuses;
    std::int32_t FNextHandle = 0;
};

} // namespace vg730emu
