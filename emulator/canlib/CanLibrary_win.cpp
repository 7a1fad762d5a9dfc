// Windows side: the emulated CAN library's channels and gateways, read live from the driver.
#include "CanLibrary.h"

#include "CanLibEntries.h"
#include "WinApi.h"

#include <mmsystem.h>

#include <cstdio>
#include <cstring>

namespace vg730emu {

namespace {

// The channel data items a caller asks for.
enum : std::int32_t {
    ItemFirmware = 9, // four 16-bit words: build, 0, minor, major
    ItemEan = 11,     // 8 bytes: EAN lo then hi, little-endian
    ItemName = 13,    // zero-ended text
};

std::uint32_t word(const std::uint8_t* buffer, std::uint32_t offset) {
    std::uint32_t value;
    std::memcpy(&value, buffer + offset, 4);
    return value;
}

UniqueFileHandle open_info(std::uint32_t number) {
    char path[48];
    std::snprintf(path, sizeof(path), "\\\\.\\Quorvelxlink%u.info", number);
    return UniqueFileHandle(
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool send_hold(HANDLE handle, std::uint32_t hold) {
    std::uint8_t buffer[VG730_HOLD_SIZE] = {};
    std::memcpy(buffer, &hold, sizeof(hold));
    DWORD returned = 0;
    return DeviceIoControl(handle, VG730_IOCTL_HOLD, buffer, sizeof(buffer), buffer, sizeof(buffer),
                           &returned, nullptr) != FALSE;
}

} // namespace

CanLibrary::HeldInfo::HeldInfo(UniqueFileHandle handle) : FHandle(std::move(handle)) {
    if (FHandle && !send_hold(FHandle.get(), 1)) {
        FHandle.reset(); // it did not take: the gateway is away or opened exclusively
    }
}

CanLibrary::HeldInfo& CanLibrary::HeldInfo::operator=(HeldInfo&& other) noexcept {
    if (this != &other) {
        release();
        FHandle = std::move(other.FHandle);
    }
    return *this;
}

void CanLibrary::HeldInfo::release() noexcept {
    if (FHandle) {
        send_hold(FHandle.get(), 0);
        FHandle.reset();
    }
}

CanLibrary CanLibrary::FInstance;

CanLibrary& CanLibrary::Instance() {
    return FInstance;
}

CanLibrary::CanLibrary()
    : FLoadedAt(timeGetTime()), FBus(*this, [this] { return timeGetTime() - FLoadedAt; }) {}

// Released without canUnloadLibrary, the library still takes its windows back from the driver.
CanLibrary::~CanLibrary() {
    drop_notify_targets(0, true);
}

void CanLibrary::Notify(std::uintptr_t window, std::int32_t handle, std::uint32_t event) {
    PostMessageW(reinterpret_cast<HWND>(window), CAN_NOTIFY_MESSAGE, static_cast<WPARAM>(handle),
                 static_cast<LPARAM>(CanNotifyLParam(event, handle)));
}

bool CanLibrary::Initialized() {
    std::lock_guard<CanLock> guard(FLock);
    return FInitialized;
}

std::int32_t CanLibrary::Initialize() {
    std::lock_guard<CanLock> guard(FLock);
    Vg730EntryFaultList faults{};
    FFaults.clear();
    if (FLink.Request(VG730_CTL_ENTRY_FAULTS, faults)) {
        FFaults.assign(faults.faults, faults.faults + faults.count);
    }
    // A fault on the initialisation itself leaves the library unusable.
    for (const Vg730EntryFault& fault : FFaults) {
        if (std::strcmp(fault.entry, "canInitializeLibrary") == 0) {
            return fault.status;
        }
    }
    FInitialized = true;
    refresh();
    return CAN_OK;
}

std::int32_t CanLibrary::Unload() {
    drop_notify_targets(0, true);
    std::lock_guard<CanLock> guard(FLock);
    FBus.CloseAll();
    FGateways.clear();
    FVirtual.clear();
    FInitialized = false;
    return CAN_OK;
}

std::optional<std::int32_t> CanLibrary::Fault(std::string_view entry) {
    std::lock_guard<CanLock> guard(FLock);
    for (const Vg730EntryFault& fault : FFaults) {
        if (entry == fault.entry) {
            return fault.status;
        }
    }
    return std::nullopt;
}

void CanLibrary::Record(std::string_view entry, std::initializer_list<std::int64_t> args,
                        const void* data, std::uint32_t length) {
    Vg730Call call{};
    call.entry = CanLibEntryIndex(entry);
    for (std::int64_t arg : args) {
        if (call.arg_count < VG730_CALL_ARGS) {
            call.args[call.arg_count++] = arg;
        }
    }
    if (data != nullptr) {
        call.data_length = std::min<std::uint32_t>(length, VG730_CALL_DATA);
        std::memcpy(call.data, data, call.data_length);
    }
    FLink.Log(call);
}

bool CanLibrary::query(Gateway& gateway, std::uint8_t* info) {
    std::uint8_t buffer[VG730_CHANNEL_INFO_SIZE] = {};
    DWORD returned = 0;
    const bool ok = gateway.info &&
                    DeviceIoControl(gateway.info.get(), VG730_IOCTL_CHANNEL_INFO, buffer,
                                    sizeof(buffer), buffer, sizeof(buffer), &returned, nullptr) &&
                    returned == sizeof(buffer);
    if (ok && info) {
        std::memcpy(info, buffer, sizeof(buffer));
    }
    return ok;
}

// A gateway that restarted is a new device: the old handle is stale and a new one is needed.
bool CanLibrary::reopen(Gateway& gateway, std::optional<std::uint32_t> listed) {
    gateway.info = HeldInfo(); // the stale one lets go first
    gateway.incarnation.reset();
    HeldInfo info(open_info(gateway.number));
    if (!info) {
        return false;
    }
    gateway.info = std::move(info);
    gateway.generation = ++FGenerations;
    gateway.incarnation = listed;
    return true;
}

CanLibrary::Gateway* CanLibrary::link(std::uint32_t number, std::optional<std::uint32_t> listed,
                                      std::uint8_t* info) {
    auto it = FGateways.begin();
    while (it != FGateways.end() && it->number < number) {
        ++it;
    }
    if (it != FGateways.end() && it->number == number) {
        if (!info && listed && it->incarnation == listed) {
            return &*it;
        }
        if (query(*it, info)) {
            it->incarnation = listed ? listed : it->incarnation;
            return &*it;
        }
        if (reopen(*it, listed) && (!info || query(*it, info))) {
            return &*it;
        }
        return nullptr;
    }
    Gateway gateway;
    gateway.number = number;
    if (!reopen(gateway, listed) || (info && !query(gateway, info))) {
        return nullptr;
    }
    return &*FGateways.insert(it, std::move(gateway));
}

void CanLibrary::refresh() {
    Vg730ChannelList list{};
    if (!FLink.Request(VG730_CTL_LIST, list)) {
        FGateways.clear();
        FVirtual.clear();
        return;
    }
    std::vector<std::uint32_t> listed;
    for (std::uint32_t i = 0; i < list.gateway_count; ++i) {
        if (link(list.gateways[i], list.incarnations[i]) != nullptr) {
            listed.push_back(list.gateways[i]);
        }
    }
    // Let go of gateways that are gone, and of those that did not answer.
    std::vector<Gateway> kept;
    for (Gateway& gateway : FGateways) {
        for (std::uint32_t number : listed) {
            if (number == gateway.number) {
                kept.push_back(std::move(gateway));
                break;
            }
        }
    }
    FGateways = std::move(kept);
    FVirtual.assign(list.virtual_names, list.virtual_names + list.virtual_count);
}

std::optional<CanLibrary::Channel> CanLibrary::channel_at(std::int32_t index) const {
    if (index < 0) {
        return std::nullopt;
    }
    const auto i = static_cast<std::size_t>(index);
    if (i < FGateways.size()) {
        return Channel{true, FGateways[i].number};
    }
    if (i - FGateways.size() < FVirtual.size()) {
        return Channel{false, static_cast<std::uint32_t>(i - FGateways.size())};
    }
    return std::nullopt;
}

std::int32_t CanLibrary::ChannelCount(std::int32_t* count) {
    std::lock_guard<CanLock> guard(FLock);
    if (!FInitialized) {
        return CAN_ERR_NOT_INITIALIZED;
    }
    if (!count) {
        return CAN_ERR_PARAM;
    }
    refresh();
    *count = static_cast<std::int32_t>(FGateways.size() + FVirtual.size());
    return CAN_OK;
}

std::int32_t CanLibrary::ChannelData(std::int32_t index, std::int32_t item, void* buffer,
                                     std::uint32_t size) {
    std::lock_guard<CanLock> guard(FLock);
    if (!FInitialized) {
        return CAN_ERR_NOT_INITIALIZED;
    }
    const std::optional<Channel> channel = channel_at(index);
    if (!channel) {
        return CAN_ERR_NOTFOUND;
    }
    if (!buffer || (item != ItemName && size < 8) || size == 0) {
        return CAN_ERR_PARAM;
    }
    std::uint8_t info[VG730_CHANNEL_INFO_SIZE] = {};
    if (channel->gateway) {
        if (!link(channel->id, std::nullopt, info)) {
            return CAN_ERR_DEVICE_GONE;
        }
    } else {
        std::memcpy(info + VG730_CH_NAME, FVirtual[channel->id].c_str(),
                    FVirtual[channel->id].size());
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    switch (item) {
    case ItemName: {
        const char* name = reinterpret_cast<const char*>(info + VG730_CH_NAME);
        const std::size_t length = std::min<std::size_t>(std::strlen(name), size - 1);
        std::memcpy(out, name, length);
        out[length] = 0;
        return CAN_OK;
    }
    case ItemEan:
        if (word(info, VG730_CH_FLAGS) & VG730_CH_FLAG_NO_EAN) {
            return CAN_ERR_NOT_IMPLEMENTED; // a gateway that does not know its EAN: no byte
        }
        std::memcpy(out, info + VG730_CH_EAN_LO, 4);
        std::memcpy(out + 4, info + VG730_CH_EAN_HI, 4);
        return CAN_OK;
    case ItemFirmware: {
        const std::uint16_t words[4] = {
            static_cast<std::uint16_t>(word(info, VG730_CH_FIRMWARE_BUILD)), 0,
            static_cast<std::uint16_t>(word(info, VG730_CH_FIRMWARE_MINOR)),
            static_cast<std::uint16_t>(word(info, VG730_CH_FIRMWARE_MAJOR))};
        std::memcpy(out, words, 8);
        return CAN_OK;
    }
    default:
        return CAN_ERR_PARAM;
    }
}

std::int32_t CanLibrary::OpenChannel(std::int32_t index, std::int32_t flags) {
    std::lock_guard<CanLock> guard(FLock);
    if (!FInitialized) {
        return CAN_ERR_NOT_INITIALIZED;
    }
    const std::optional<Channel> channel = channel_at(index);
    if (!channel) {
        return CAN_ERR_NOTFOUND;
    }
    const auto openFlags = static_cast<std::uint32_t>(flags);
    if (!channel->gateway) {
        if (!(openFlags & CAN_OPEN_ACCEPT_VIRTUAL)) {
            return CAN_ERR_NOTFOUND;
        }
        return FBus.Open(VirtualChannelBase + channel->id, openFlags, 0);
    }
    Gateway* gateway = link(channel->id);
    if (!gateway) {
        return CAN_ERR_DEVICE_GONE;
    }
    return FBus.Open(channel->id, openFlags, gateway->generation);
}

std::int32_t CanLibrary::CheckHandle(std::int32_t handle, std::uint8_t* info, bool* isGateway) {
    std::uint64_t channel = 0;
    std::uint32_t generation = 0;
    if (!FBus.Lookup(handle, &channel, &generation)) {
        return CAN_ERR_INVALID_HANDLE;
    }
    const bool gatewayChannel = channel < VirtualChannelBase;
    if (isGateway) {
        *isGateway = gatewayChannel;
    }
    if (!gatewayChannel) {
        return CAN_OK;
    }
    std::lock_guard<CanLock> guard(FLock);
    const auto number = static_cast<std::uint32_t>(channel);
    bool listed = false;
    for (const Gateway& gateway : FGateways) {
        listed = listed || gateway.number == number;
    }
    if (!listed) {
        // No longer listed: back under a new life (stale handle) or still away. Probing must not
        // add it to the list, whose order callers rely on between two calls.
        return open_info(number) ? CAN_ERR_INVALID_HANDLE : CAN_ERR_DEVICE_GONE;
    }
    std::uint8_t record[VG730_CHANNEL_INFO_SIZE];
    Gateway* gateway = link(number, std::nullopt, record);
    if (!gateway) {
        return CAN_ERR_DEVICE_GONE;
    }
    if (gateway->generation != generation) {
        return CAN_ERR_INVALID_HANDLE; // opened again: the handle belongs to an earlier life
    }
    if (info) {
        std::memcpy(info, record, sizeof(record));
    }
    return CAN_OK;
}

std::optional<std::uint32_t> CanLibrary::gateway_of(std::int32_t handle) {
    std::uint64_t channel = 0;
    std::uint32_t generation = 0;
    if (!FBus.Lookup(handle, &channel, &generation) || channel >= VirtualChannelBase) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(channel);
}

void CanLibrary::drop_notify_targets(std::int32_t handle, bool every_handle) {
    if (!FNotifyTargets) {
        return;
    }
    if (every_handle) {
        FNotifyTargets = false;
    }
    Vg730NotifyDropRequest request{};
    request.process = GetCurrentProcessId();
    request.handle = handle;
    request.every_handle = every_handle;
    FLink.Request(VG730_CTL_NOTIFY_DROP, request);
}

std::int32_t CanLibrary::SetNotify(std::int32_t handle, std::uintptr_t window,
                                   std::uint32_t flags) {
    const std::int32_t status = FBus.SetNotify(handle, window, flags);
    if (status != CAN_OK) {
        return status;
    }
    if (const std::optional<std::uint32_t> number = gateway_of(handle)) {
        Vg730NotifyRequest request{};
        request.target.process = GetCurrentProcessId();
        request.target.handle = handle;
        // Window handles are 32-bit values that a 64-bit process sees sign-extended.
        request.target.window = static_cast<std::uint64_t>(
            static_cast<std::int64_t>(static_cast<std::intptr_t>(window)));
        request.target.flags = flags;
        request.target.number = *number;
        FNotifyTargets = true;
        FLink.Request(VG730_CTL_NOTIFY_SET, request); // without it only the library notifies
    }
    return CAN_OK;
}

std::int32_t CanLibrary::Close(std::int32_t handle) {
    const bool gateway = gateway_of(handle).has_value();
    const std::int32_t status = FBus.Close(handle);
    if (status == CAN_OK && gateway) {
        drop_notify_targets(handle, false);
    }
    return status;
}

std::int32_t CanLibrary::IoCtl(std::int32_t handle, std::uint32_t function, void* buffer,
                               std::uint32_t length) {
    const std::int32_t status = FBus.IoCtl(handle, function, buffer, length);
    const std::optional<std::uint32_t> number = gateway_of(handle);
    if (status != CAN_OK || !number) {
        return status;
    }
    if (function == CAN_IOCTL_TX_QUEUE_LENGTH) {
        std::uint8_t info[VG730_CHANNEL_INFO_SIZE] = {};
        if (CheckHandle(handle, info) == CAN_OK) {
            const std::uint32_t waiting =
                word(static_cast<std::uint8_t*>(buffer), 0) + word(info, VG730_CH_TX_LEVEL);
            std::memcpy(buffer, &waiting, 4);
        }
    } else if (function == CAN_IOCTL_FLUSH_TX) {
        Vg730FaultRequest request{};
        request.number = *number;
        request.fault.type = VG730_FAULT_TX_LEVEL;
        request.fault.value = 0;
        FLink.Request(VG730_CTL_FAULT, request);
    }
    return CAN_OK;
}

} // namespace vg730emu
