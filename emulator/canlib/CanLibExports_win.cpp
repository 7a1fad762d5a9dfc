// Windows side: the 34 entry points of the emulated CAN library (exported by plain name through
// CanLib.def). Each first answers the status a fault set for it, then does its work.
#include "CanLibApi.h"
#include "CanLibrary.h"

#include <cstring>

using namespace vg730emu;

namespace {

CanLibrary& library() {
    return CanLibrary::Instance();
}

// Every entry first logs its call in the driver, then answers the status a fault set for it.
std::optional<std::int32_t> enter(std::string_view entry, std::initializer_list<std::int64_t> args,
                                  const void* data = nullptr, std::uint32_t length = 0) {
    library().Record(entry, args, data, length);
    return library().Fault(entry);
}

std::int32_t read_frame(std::int32_t handle, std::int32_t* id, void* data, std::uint32_t* dlc,
                        std::uint32_t* flags, std::uint32_t* time, std::uint32_t timeout,
                        const std::int32_t* wanted, bool skip) {
    CanFrame frame;
    const std::int32_t status = library().Bus().Read(handle, &frame, timeout, wanted, skip);
    if (status != CAN_OK) {
        return status;
    }
    if (id) {
        *id = frame.id;
    }
    if (data) {
        std::memcpy(data, frame.data, frame.dlc < 8 ? frame.dlc : 8);
    }
    if (dlc) {
        *dlc = frame.dlc;
    }
    if (flags) {
        *flags = frame.flags;
    }
    if (time) {
        *time = frame.time;
    }
    return CAN_OK;
}

} // namespace

extern "C" {

canlib::Status WINAPI canInitializeLibrary() {
    library().Record("canInitializeLibrary", {}); // its fault is answered by Initialize
    return library().Initialize();
}

canlib::Status WINAPI canUnloadLibrary() {
    if (const auto f = enter("canUnloadLibrary", {})) {
        return *f;
    }
    return library().Unload();
}

canlib::Status WINAPI canLocateHardware() {
    if (const auto f = enter("canLocateHardware", {})) {
        return *f;
    }
    return library().Initialized() ? CAN_OK : CAN_ERR_NOT_INITIALIZED;
}

canlib::Status WINAPI canGetNumberOfChannels(std::int32_t* count) {
    if (const auto f = enter("canGetNumberOfChannels", {})) {
        return *f;
    }
    return library().ChannelCount(count);
}

canlib::Status WINAPI canGetChannelData(std::int32_t channel, std::int32_t item, void* buffer,
                                        std::uint32_t size) {
    if (const auto f = enter("canGetChannelData", {channel, item, size})) {
        return *f;
    }
    return library().ChannelData(channel, item, buffer, size);
}

canlib::Status WINAPI canOpenChannel(std::int32_t channel, std::int32_t flags) {
    if (const auto f = enter("canOpenChannel", {channel, flags})) {
        return *f;
    }
    return library().OpenChannel(channel, flags);
}

canlib::Status WINAPI canOpen(std::int32_t channel, char*, std::int32_t flags) {
    if (const auto f = enter("canOpen", {channel, flags})) {
        return *f;
    }
    return library().OpenChannel(channel, flags);
}

canlib::Status WINAPI canClose(std::int32_t handle) {
    if (const auto f = enter("canClose", {handle})) {
        return *f;
    }
    return library().Close(handle);
}

canlib::Status WINAPI canBusOn(std::int32_t handle) {
    if (const auto f = enter("canBusOn", {handle})) {
        return *f;
    }
    if (const std::int32_t status = library().CheckHandle(handle); status != CAN_OK) {
        return status;
    }
    return library().Bus().BusOn(handle);
}

canlib::Status WINAPI canBusOff(std::int32_t handle) {
    if (const auto f = enter("canBusOff", {handle})) {
        return *f;
    }
    return library().Bus().BusOff(handle);
}

canlib::Status WINAPI canSetBusParams(std::int32_t handle, std::int32_t bitrate,
                                      std::uint32_t tseg1, std::uint32_t tseg2, std::uint32_t sjw,
                                      std::uint32_t samples, std::uint32_t syncmode) {
    if (const auto f =
            enter("canSetBusParams", {handle, bitrate, tseg1, tseg2, sjw, samples, syncmode})) {
        return *f;
    }
    return library().Bus().SetBusParams(handle,
                                        BusParams{bitrate, tseg1, tseg2, sjw, samples, syncmode});
}

canlib::Status WINAPI canGetBusParams(std::int32_t handle, std::int32_t* bitrate,
                                      std::uint32_t* tseg1, std::uint32_t* tseg2,
                                      std::uint32_t* sjw, std::uint32_t* samples,
                                      std::uint32_t* syncmode) {
    if (const auto f = enter("canGetBusParams", {handle})) {
        return *f;
    }
    BusParams params;
    const std::int32_t status = library().Bus().GetBusParams(handle, &params);
    if (status == CAN_OK) {
        if (!bitrate || !tseg1 || !tseg2 || !sjw || !samples || !syncmode) {
            return CAN_ERR_PARAM;
        }
        *bitrate = params.bitrate;
        *tseg1 = params.tseg1;
        *tseg2 = params.tseg2;
        *sjw = params.sjw;
        *samples = params.samples;
        *syncmode = params.syncmode;
    }
    return status;
}

// The bit timing registers of the classic CAN controllers, for a 16 MHz clock.
canlib::Status WINAPI canSetBusParamsC200(std::int32_t handle, std::uint8_t btr0,
                                          std::uint8_t btr1) {
    if (const auto f = enter("canSetBusParamsC200", {handle, btr0, btr1})) {
        return *f;
    }
    BusParams params;
    const std::uint32_t prescaler = (btr0 & 0x3Fu) + 1;
    params.sjw = (btr0 >> 6) + 1u;
    params.tseg1 = (btr1 & 0x0Fu) + 1;
    params.tseg2 = ((btr1 >> 4) & 0x07u) + 1;
    params.samples = (btr1 & 0x80) ? 3 : 1;
    params.bitrate =
        static_cast<std::int32_t>(8000000u / (prescaler * (1 + params.tseg1 + params.tseg2)));
    return library().Bus().SetBusParams(handle, params);
}

canlib::Status WINAPI canSetBusOutputControl(std::int32_t handle, std::uint32_t driver) {
    if (const auto f = enter("canSetBusOutputControl", {handle, driver})) {
        return *f;
    }
    return library().Bus().SetDriverType(handle, driver);
}

canlib::Status WINAPI canGetBusOutputControl(std::int32_t handle, std::uint32_t* driver) {
    if (const auto f = enter("canGetBusOutputControl", {handle})) {
        return *f;
    }
    if (!driver) {
        return CAN_ERR_PARAM;
    }
    return library().Bus().GetDriverType(handle, driver);
}

canlib::Status WINAPI canTranslateBaud(std::int32_t* bitrate, std::uint32_t* tseg1,
                                       std::uint32_t* tseg2, std::uint32_t* sjw,
                                       std::uint32_t* samples, std::uint32_t* syncmode) {
    // The bit rate (a predefined code) is handed in through its pointer.
    if (const auto f =
            bitrate ? enter("canTranslateBaud", {*bitrate}) : enter("canTranslateBaud", {})) {
        return *f;
    }
    return TranslateBaud(bitrate, tseg1, tseg2, sjw, samples, syncmode);
}

canlib::Status WINAPI canSetNotify(std::int32_t handle, HWND window, std::uint32_t flags) {
    if (const auto f =
            enter("canSetNotify", {handle, reinterpret_cast<std::intptr_t>(window), flags})) {
        return *f;
    }
    return library().SetNotify(handle, reinterpret_cast<std::uintptr_t>(window), flags);
}

canlib::Status WINAPI canAccept(std::int32_t handle, std::uint32_t envelope, std::uint32_t flag) {
    if (const auto f = enter("canAccept", {handle, envelope, flag})) {
        return *f;
    }
    return library().Bus().Accept(handle, envelope, flag);
}

canlib::Status WINAPI canWrite(std::int32_t handle, std::int32_t id, void* data, std::uint32_t dlc,
                               std::uint32_t flags) {
    if (const auto f = enter("canWrite", {handle, id, dlc, flags}, data, dlc)) {
        return *f;
    }
    if (const std::int32_t status = library().CheckHandle(handle); status != CAN_OK) {
        return status;
    }
    return library().Bus().Write(handle, id, data, dlc, flags);
}

canlib::Status WINAPI canWriteSync(std::int32_t handle, std::uint32_t timeout) {
    if (const auto f = enter("canWriteSync", {handle, timeout})) {
        return *f;
    }
    return library().Bus().WriteSync(handle, timeout);
}

canlib::Status WINAPI canRead(std::int32_t handle, std::int32_t* id, void* data, std::uint32_t* dlc,
                              std::uint32_t* flags, std::uint32_t* time) {
    if (const auto f = enter("canRead", {handle})) {
        return *f;
    }
    return read_frame(handle, id, data, dlc, flags, time, 0, nullptr, false);
}

canlib::Status WINAPI canReadWait(std::int32_t handle, std::int32_t* id, void* data,
                                  std::uint32_t* dlc, std::uint32_t* flags, std::uint32_t* time,
                                  std::uint32_t timeout) {
    if (const auto f = enter("canReadWait", {handle, timeout})) {
        return *f;
    }
    return read_frame(handle, id, data, dlc, flags, time, timeout, nullptr, false);
}

canlib::Status WINAPI canReadSpecific(std::int32_t handle, std::int32_t id, void* data,
                                      std::uint32_t* dlc, std::uint32_t* flags,
                                      std::uint32_t* time) {
    if (const auto f = enter("canReadSpecific", {handle, id})) {
        return *f;
    }
    return read_frame(handle, nullptr, data, dlc, flags, time, 0, &id, false);
}

canlib::Status WINAPI canReadSpecificSkip(std::int32_t handle, std::int32_t id, void* data,
                                          std::uint32_t* dlc, std::uint32_t* flags,
                                          std::uint32_t* time) {
    if (const auto f = enter("canReadSpecificSkip", {handle, id})) {
        return *f;
    }
    return read_frame(handle, nullptr, data, dlc, flags, time, 0, &id, true);
}

canlib::Status WINAPI canReadSync(std::int32_t handle, std::uint32_t timeout) {
    if (const auto f = enter("canReadSync", {handle, timeout})) {
        return *f;
    }
    return library().Bus().ReadSync(handle, timeout);
}

canlib::Status WINAPI canReadSyncSpecific(std::int32_t handle, std::int32_t id,
                                          std::uint32_t timeout) {
    if (const auto f = enter("canReadSyncSpecific", {handle, id, timeout})) {
        return *f;
    }
    return library().Bus().ReadSync(handle, timeout, &id);
}

canlib::Status WINAPI canWaitForEvent(std::int32_t handle, std::uint32_t timeout) {
    if (const auto f = enter("canWaitForEvent", {handle, timeout})) {
        return *f;
    }
    return library().Bus().ReadSync(handle, timeout);
}

canlib::Status WINAPI canReadStatus(std::int32_t handle, std::uint32_t* flags) {
    if (const auto f = enter("canReadStatus", {handle})) {
        return *f;
    }
    if (!flags) {
        return CAN_ERR_PARAM;
    }
    std::uint8_t info[VG730_CHANNEL_INFO_SIZE] = {};
    if (const std::int32_t status = library().CheckHandle(handle, info); status != CAN_OK) {
        return status;
    }
    std::uint32_t gatewayBits, gatewayWaiting;
    std::memcpy(&gatewayBits, info + VG730_CH_BUS_STATUS, 4);
    std::memcpy(&gatewayWaiting, info + VG730_CH_TX_LEVEL, 4);
    if (gatewayWaiting != 0) {
        gatewayBits |= CAN_STAT_TX_PENDING;
    }
    return library().Bus().ReadStatus(handle, gatewayBits, flags);
}

canlib::Status WINAPI canReadErrorCounters(std::int32_t handle, std::uint32_t* tx,
                                           std::uint32_t* rx, std::uint32_t* overruns) {
    if (const auto f = enter("canReadErrorCounters", {handle})) {
        return *f;
    }
    if (!tx || !rx || !overruns) {
        return CAN_ERR_PARAM;
    }
    std::uint8_t info[VG730_CHANNEL_INFO_SIZE] = {};
    if (const std::int32_t status = library().CheckHandle(handle, info); status != CAN_OK) {
        return status;
    }
    const std::int32_t status = library().Bus().ReadErrorCounters(handle, tx, rx, overruns);
    if (status == CAN_OK) {
        std::uint32_t gateway[3];
        std::memcpy(gateway, info + VG730_CH_TX_ERRORS, sizeof(gateway));
        *tx += gateway[0];
        *rx += gateway[1];
        *overruns += gateway[2];
    }
    return status;
}

canlib::Status WINAPI canIoCtl(std::int32_t handle, std::uint32_t function, void* buffer,
                               std::uint32_t length) {
    if (const auto f = enter("canIoCtl", {handle, function, length}, buffer, length)) {
        return *f;
    }
    return library().IoCtl(handle, function, buffer, length);
}

std::uint32_t WINAPI canReadTimer(std::int32_t handle) {
    if (const auto f = enter("canReadTimer", {handle})) {
        return static_cast<std::uint32_t>(*f);
    }
    std::uint64_t channel;
    std::uint32_t generation;
    return library().Bus().Lookup(handle, &channel, &generation) ? library().Bus().Now() : 0;
}

canlib::Status WINAPI canGetErrorText(canlib::Status status, char* text, std::uint32_t size) {
    if (const auto f = enter("canGetErrorText", {status, size})) {
        return *f;
    }
    if (!text || size == 0) {
        return CAN_ERR_PARAM;
    }
    const char* message = CanStatusText(status);
    const std::size_t length = std::min<std::size_t>(std::strlen(message), size - 1);
    std::memcpy(text, message, length);
    text[length] = '\0';
    return CAN_OK;
}

std::uint16_t WINAPI canGetVersion() {
    if (const auto f = enter("canGetVersion", {})) {
        return static_cast<std::uint16_t>(*f);
    }
    return 0x0100; // 1.0
}

std::uint32_t WINAPI canGetVersionEx(std::uint32_t item) {
    if (const auto f = enter("canGetVersionEx", {item})) {
        return static_cast<std::uint32_t>(*f);
    }
    return 0x0100;
}

} // extern "C"
