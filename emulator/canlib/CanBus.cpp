// Portable: the loopback buses of the emulated CAN library.
#include "CanBus.h"

#include <chrono>
#include <cstring>

namespace vg730emu {

const char* CanStatusText(std::int32_t status) {
    switch (status) {
    case CAN_OK:
        return "No error";
    case CAN_ERR_PARAM:
        return "Error in parameter";
    case CAN_ERR_NOMSG:
        return "No messages available";
    case CAN_ERR_NOTFOUND:
        return "Specified channel not found";
    case CAN_ERR_NOMEM:
        return "Out of handles";
    case CAN_ERR_NOCHANNELS:
        return "No channels available";
    case CAN_ERR_IN_USE:
        return "Channel in use";
    case CAN_ERR_TIMEOUT:
        return "Timeout occurred";
    case CAN_ERR_NOT_INITIALIZED:
        return "Library not initialized";
    case CAN_ERR_DRIVER:
        return "Driver request failed";
    case CAN_ERR_INVALID_HANDLE:
        return "Handle is invalid";
    case CAN_ERR_TX_BUFFER_FULL:
        return "Transmit buffer overflow";
    case CAN_ERR_DEVICE_GONE:
        return "Device not present";
    case CAN_ERR_NOT_IMPLEMENTED:
        return "Not implemented";
    default:
        return "Unknown error";
    }
}

std::int32_t TranslateBaud(std::int32_t* bitrate, std::uint32_t* tseg1, std::uint32_t* tseg2,
                           std::uint32_t* sjw, std::uint32_t* samples, std::uint32_t* syncmode) {
    struct Predefined {
        std::int32_t code, bitrate;
        std::uint32_t tseg1, tseg2;
    };
    static const Predefined table[] = {
        {-1, 1000000, 5, 2}, {-2, 500000, 5, 2},  {-3, 250000, 5, 2},
        {-4, 125000, 11, 4}, {-5, 100000, 11, 4}, {-6, 62500, 11, 4},
        {-7, 50000, 11, 4},  {-8, 83333, 11, 4},  {-9, 10000, 11, 4},
    };
    if (!bitrate || !tseg1 || !tseg2 || !sjw || !samples || !syncmode) {
        return CAN_ERR_PARAM;
    }
    for (const Predefined& entry : table) {
        if (entry.code == *bitrate) {
            *bitrate = entry.bitrate;
            *tseg1 = entry.tseg1;
            *tseg2 = entry.tseg2;
            *sjw = 1;
            *samples = 1;
            *syncmode = 0;
            return CAN_OK;
        }
    }
    return CAN_ERR_PARAM;
}

CanBusSet::CanBusSet(CanNotifier& notifier, std::function<std::uint32_t()> clock)
    : FNotifier(notifier), FClock(std::move(clock)) {}

CanBusSet::Handle* CanBusSet::find(std::int32_t handle) {
    const auto it = FHandles.find(handle);
    return it == FHandles.end() ? nullptr : &it->second;
}

std::int32_t CanBusSet::Open(std::uint64_t channel, std::uint32_t flags, std::uint32_t generation) {
    std::lock_guard<CanLock> guard(FLock);
    for (const auto& [number, h] : FHandles) {
        if (h.channel == channel && (h.exclusive || (flags & CAN_OPEN_EXCLUSIVE))) {
            return CAN_ERR_IN_USE;
        }
    }
    if (FNextHandle == INT32_MAX) {
        return CAN_ERR_NOMEM;
    }
    const std::int32_t number = FNextHandle++;
    Handle& h = FHandles[number];
    h.channel = channel;
    h.generation = generation;
    h.exclusive = (flags & CAN_OPEN_EXCLUSIVE) != 0;
    return number;
}

std::int32_t CanBusSet::Close(std::int32_t handle) {
    std::lock_guard<CanLock> guard(FLock);
    if (FHandles.erase(handle) == 0) {
        return CAN_ERR_INVALID_HANDLE;
    }
    FChanged.notify_all();
    return CAN_OK;
}

void CanBusSet::CloseAll() {
    std::lock_guard<CanLock> guard(FLock);
    FHandles.clear();
    FBuses.clear();
    FChanged.notify_all();
}

bool CanBusSet::Lookup(std::int32_t handle, std::uint64_t* channel, std::uint32_t* generation) {
    std::lock_guard<CanLock> guard(FLock);
    const Handle* h = find(handle);
    if (h) {
        *channel = h->channel;
        *generation = h->generation;
    }
    return h != nullptr;
}

std::int32_t CanBusSet::SetBusParams(std::int32_t handle, const BusParams& params) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    BusParams p = params;
    if (p.bitrate < 0) {
        const std::int32_t status =
            TranslateBaud(&p.bitrate, &p.tseg1, &p.tseg2, &p.sjw, &p.samples, &p.syncmode);
        if (status != CAN_OK) {
            return status;
        }
    }
    if (p.bitrate <= 0 || p.bitrate > 1000000 || p.tseg1 < 1 || p.tseg1 > 16 || p.tseg2 < 1 ||
        p.tseg2 > 8 || p.sjw < 1 || p.sjw > 4 || (p.samples != 1 && p.samples != 3)) {
        return CAN_ERR_PARAM;
    }
    h->params = p;
    return CAN_OK;
}

std::int32_t CanBusSet::GetBusParams(std::int32_t handle, BusParams* params) {
    std::lock_guard<CanLock> guard(FLock);
    const Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    *params = h->params;
    return CAN_OK;
}

std::int32_t CanBusSet::SetDriverType(std::int32_t handle, std::uint32_t type) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    if (type != CAN_DRIVER_OFF && type != CAN_DRIVER_SILENT && type != CAN_DRIVER_NORMAL) {
        return CAN_ERR_PARAM;
    }
    h->driverType = type;
    transmit(h->channel);
    return CAN_OK;
}

std::int32_t CanBusSet::GetDriverType(std::int32_t handle, std::uint32_t* type) {
    std::lock_guard<CanLock> guard(FLock);
    const Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    *type = h->driverType;
    return CAN_OK;
}

std::int32_t CanBusSet::BusOn(std::int32_t handle) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    h->onBus = true;
    notify(handle, *h, CAN_NOTIFY_STATUS, CAN_EVENT_STATUS);
    transmit(h->channel);
    return CAN_OK;
}

std::int32_t CanBusSet::BusOff(std::int32_t handle) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    h->onBus = false;
    notify(handle, *h, CAN_NOTIFY_STATUS, CAN_EVENT_STATUS);
    FChanged.notify_all();
    return CAN_OK;
}

std::int32_t CanBusSet::SetNotify(std::int32_t handle, std::uintptr_t window, std::uint32_t flags) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    h->window = window;
    h->notifyFlags = flags;
    return CAN_OK;
}

std::int32_t CanBusSet::Accept(std::int32_t handle, std::uint32_t envelope, std::uint32_t flag) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    switch (flag) {
    case CAN_FILTER_STD_MASK:
        h->stdMask = envelope & 0x7FF;
        break;
    case CAN_FILTER_STD_CODE:
        h->stdCode = envelope & 0x7FF;
        break;
    case CAN_FILTER_EXT_MASK:
        h->extMask = envelope & 0x1FFFFFFF;
        break;
    case CAN_FILTER_EXT_CODE:
        h->extCode = envelope & 0x1FFFFFFF;
        break;
    default:
        return CAN_ERR_PARAM;
    }
    return CAN_OK;
}

bool CanBusSet::accepts(const Handle& h, const CanFrame& frame) const {
    if (frame.flags & CAN_MSG_ERROR_FRAME) {
        return true;
    }
    const auto id = static_cast<std::uint32_t>(frame.id);
    if (frame.flags & CAN_MSG_EXT) {
        return (id & h.extMask) == (h.extCode & h.extMask);
    }
    return (id & h.stdMask) == (h.stdCode & h.stdMask);
}

void CanBusSet::notify(std::int32_t handle, const Handle& h, std::uint32_t flag,
                       std::uint32_t event) {
    if (h.window != 0 && (h.notifyFlags & flag)) {
        FNotifier.Notify(h.window, handle, event);
    }
}

void CanBusSet::notify_bus(std::uint64_t channel, std::uint32_t flag, std::uint32_t event) {
    for (const auto& [number, h] : FHandles) {
        if (h.channel == channel) {
            notify(number, h, flag, event);
        }
    }
}

void CanBusSet::deliver(std::int32_t from, const CanFrame& frame, std::uint64_t channel) {
    for (auto& [number, h] : FHandles) {
        if (h.channel != channel || !h.onBus || (number == from && !h.ownFrames) ||
            !accepts(h, frame)) {
            continue;
        }
        if (h.rx.size() >= CAN_RX_QUEUE_SIZE) {
            h.overruns += 1;
            continue;
        }
        h.rx.push_back(frame);
        notify(number, h, CAN_NOTIFY_RX, CAN_EVENT_RX);
    }
}

void CanBusSet::receive(std::uint64_t channel, const CanFrame& frame, bool countsAsError) {
    const bool error = (frame.flags & CAN_MSG_ERROR_FRAME) != 0;
    for (auto& [number, h] : FHandles) {
        if (h.channel != channel || !h.onBus || !accepts(h, frame)) {
            continue;
        }
        if (countsAsError) {
            h.rxErrors += 1;
        }
        if (h.rx.size() >= CAN_RX_QUEUE_SIZE) {
            h.overruns += 1;
            continue;
        }
        h.rx.push_back(frame);
        if (error) {
            notify(number, h, CAN_NOTIFY_ERROR, CAN_EVENT_ERROR);
        } else {
            notify(number, h, CAN_NOTIFY_RX, CAN_EVENT_RX);
        }
    }
    FChanged.notify_all();
}

void CanBusSet::transmit(std::uint64_t channel) {
    if (FBuses[channel].hold) {
        return;
    }
    for (auto& [number, h] : FHandles) {
        if (h.channel != channel || !h.onBus || h.driverType != CAN_DRIVER_NORMAL) {
            continue; // off the bus or silent: frames wait
        }
        while (!h.tx.empty()) {
            CanFrame frame = h.tx.front();
            h.tx.pop_front();
            frame.time = FClock();
            deliver(number, frame, channel);
            notify(number, h, CAN_NOTIFY_TX, CAN_EVENT_TX);
        }
    }
    FChanged.notify_all();
}

std::int32_t CanBusSet::Write(std::int32_t handle, std::int32_t id, const void* data,
                              std::uint32_t dlc, std::uint32_t flags) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    const bool extended = (flags & CAN_MSG_EXT) != 0;
    const auto identifier = static_cast<std::uint32_t>(id);
    if (dlc > 8 || (dlc > 0 && data == nullptr) || (extended && (flags & CAN_MSG_STD)) ||
        identifier > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
        return CAN_ERR_PARAM;
    }
    if (h->tx.size() >= CAN_TX_QUEUE_SIZE) {
        return CAN_ERR_TX_BUFFER_FULL;
    }
    CanFrame frame;
    frame.id = id;
    frame.dlc = dlc;
    frame.flags = (extended ? CAN_MSG_EXT : CAN_MSG_STD) | (flags & CAN_MSG_RTR);
    if (dlc > 0) {
        std::memcpy(frame.data, data, dlc);
    }
    h->tx.push_back(frame);
    transmit(h->channel);
    return CAN_OK;
}

template <typename Ready>
bool CanBusSet::wait(std::unique_lock<CanLock>& lock, std::uint32_t timeout_ms, Ready ready) {
    if (timeout_ms == 0xFFFFFFFFu) { // the caller asked to wait for as long as it takes
        while (!ready()) {
            FChanged.wait(lock);
        }
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!ready()) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            return false;
        }
        FChanged.wait_for(lock, std::chrono::ceil<std::chrono::milliseconds>(left));
    }
    return true;
}

std::int32_t CanBusSet::WriteSync(std::int32_t handle, std::uint32_t timeout_ms) {
    std::unique_lock<CanLock> lock(FLock);
    if (!find(handle)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    const bool done = wait(lock, timeout_ms, [&] {
        const Handle* h = find(handle);
        return !h || h->tx.empty();
    });
    if (!find(handle)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    return done ? CAN_OK : CAN_ERR_TIMEOUT;
}

namespace {

template <typename Queue> auto first_of(Queue& queue, const std::int32_t* id) {
    auto it = queue.begin();
    if (id) {
        while (it != queue.end() && it->id != *id) {
            ++it;
        }
    }
    return it;
}

} // namespace

std::int32_t CanBusSet::Read(std::int32_t handle, CanFrame* frame, std::uint32_t timeout_ms,
                             const std::int32_t* id, bool skip) {
    std::unique_lock<CanLock> lock(FLock);
    if (!find(handle)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    wait(lock, timeout_ms, [&] {
        Handle* h = find(handle);
        return !h || first_of(h->rx, id) != h->rx.end();
    });
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    const auto it = first_of(h->rx, id);
    if (it == h->rx.end()) {
        return CAN_ERR_NOMSG;
    }
    *frame = *it;
    if (skip) {
        h->rx.erase(h->rx.begin(), it + 1);
    } else {
        h->rx.erase(it);
    }
    return CAN_OK;
}

std::int32_t CanBusSet::ReadSync(std::int32_t handle, std::uint32_t timeout_ms,
                                 const std::int32_t* id) {
    std::unique_lock<CanLock> lock(FLock);
    if (!find(handle)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    const bool ready = wait(lock, timeout_ms, [&] {
        Handle* h = find(handle);
        return !h || first_of(h->rx, id) != h->rx.end();
    });
    if (!find(handle)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    return ready ? CAN_OK : CAN_ERR_TIMEOUT;
}

std::int32_t CanBusSet::ReadStatus(std::int32_t handle, std::uint32_t extra, std::uint32_t* bits) {
    std::lock_guard<CanLock> guard(FLock);
    const Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    std::uint32_t status = h->onBus ? CAN_STAT_ERROR_ACTIVE : CAN_STAT_BUS_OFF;
    if (!h->tx.empty()) {
        status |= CAN_STAT_TX_PENDING;
    }
    if (!h->rx.empty()) {
        status |= CAN_STAT_RX_PENDING;
    }
    const auto bus = FBuses.find(h->channel);
    if (bus != FBuses.end()) {
        status |= bus->second.status;
    }
    *bits = status | extra;
    return CAN_OK;
}

std::int32_t CanBusSet::ReadErrorCounters(std::int32_t handle, std::uint32_t* tx, std::uint32_t* rx,
                                          std::uint32_t* overruns) {
    std::lock_guard<CanLock> guard(FLock);
    const Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    *tx = h->txErrors;
    *rx = h->rxErrors;
    *overruns = h->overruns;
    return CAN_OK;
}

std::int32_t CanBusSet::IoCtl(std::int32_t handle, std::uint32_t function, void* buffer,
                              std::uint32_t length) {
    std::lock_guard<CanLock> guard(FLock);
    Handle* h = find(handle);
    if (!h) {
        return CAN_ERR_INVALID_HANDLE;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    auto needs = [&](std::uint32_t size) { return bytes != nullptr && length >= size; };
    switch (function) {
    case CAN_IOCTL_OWN_FRAMES:
        if (!needs(1)) {
            return CAN_ERR_PARAM;
        }
        h->ownFrames = bytes[0] != 0;
        return CAN_OK;
    case CAN_IOCTL_TX_QUEUE_LENGTH: {
        if (!needs(4)) {
            return CAN_ERR_PARAM;
        }
        const auto count = static_cast<std::uint32_t>(h->tx.size());
        std::memcpy(bytes, &count, 4);
        return CAN_OK;
    }
    case CAN_IOCTL_FLUSH_TX:
        h->tx.clear();
        FChanged.notify_all();
        return CAN_OK;
    case CAN_IOCTL_FLUSH_RX:
        h->rx.clear();
        return CAN_OK;
    case CAN_IOCTL_HOLD_TX:
        if (!needs(1)) {
            return CAN_ERR_PARAM;
        }
        FBuses[h->channel].hold = bytes[0] != 0;
        transmit(h->channel);
        return CAN_OK;
    case CAN_IOCTL_RAISE_STATUS: {
        if (!needs(4)) {
            return CAN_ERR_PARAM;
        }
        std::uint32_t status;
        std::memcpy(&status, bytes, 4);
        FBuses[h->channel].status = status;
        notify_bus(h->channel, CAN_NOTIFY_STATUS, CAN_EVENT_STATUS);
        return CAN_OK;
    }
    case CAN_IOCTL_ERROR_FRAME: {
        CanFrame frame;
        frame.flags = CAN_MSG_ERROR_FRAME;
        if (bytes != nullptr && length >= 4) {
            std::uint32_t extra;
            std::memcpy(&extra, bytes, 4);
            frame.flags |= extra;
        }
        frame.time = FClock();
        receive(h->channel, frame, true);
        return CAN_OK;
    }
    case CAN_IOCTL_INJECT_FRAME: {
        if (!needs(sizeof(CanInjectedFrame))) {
            return CAN_ERR_PARAM;
        }
        CanInjectedFrame injected;
        std::memcpy(&injected, bytes, sizeof(injected));
        if (injected.dlc > 8) {
            return CAN_ERR_PARAM;
        }
        CanFrame frame;
        frame.id = injected.id;
        frame.dlc = injected.dlc;
        frame.flags = injected.flags;
        std::memcpy(frame.data, injected.data, 8);
        frame.time = FClock();
        receive(h->channel, frame, false);
        return CAN_OK;
    }
    case CAN_IOCTL_SET_COUNTERS:
        if (!needs(12)) {
            return CAN_ERR_PARAM;
        }
        std::memcpy(&h->txErrors, bytes, 4);
        std::memcpy(&h->rxErrors, bytes + 4, 4);
        std::memcpy(&h->overruns, bytes + 8, 4);
        return CAN_OK;
    default:
        return CAN_ERR_NOT_IMPLEMENTED;
    }
}

} // namespace vg730emu
