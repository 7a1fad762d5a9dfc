// Windows side: the state of the emulated CAN library in one process: the channels it lists
// (one per present emulated gateway, then the virtual channels), the ".info" handle it holds on
// each gateway while it is initialised, the entry faults read from the driver, and the buses.
#pragma once

#include "CanBus.h"
#include "EmulatorLink.h"
#include "Vg730Emulator.h"
#include "WinHandles.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vg730emu {

class CanLibrary : public CanNotifier {
public:
    static CanLibrary& Instance();

    // Reads the channels and entry faults from the driver and opens the gateways.
    std::int32_t Initialize();
    // Closes every CAN handle and lets go of the gateways.
    std::int32_t Unload();
    // The status an entry must answer instead of doing its work, if one was set.
    std::optional<std::int32_t> Fault(std::string_view entry);
    // Logs one call of an entry in the driver (see CallLog.h for what each entry logs).
    void Record(std::string_view entry, std::initializer_list<std::int64_t> args,
                const void* data = nullptr, std::uint32_t length = 0);

    std::int32_t ChannelCount(std::int32_t* count);
    std::int32_t ChannelData(std::int32_t channel, std::int32_t item, void* buffer,
                             std::uint32_t size);
    std::int32_t OpenChannel(std::int32_t channel, std::int32_t flags);
    // CAN_OK when the handle's gateway is present in the life the handle was opened in (always
    // for virtual channels); CAN_ERR_DEVICE_GONE while it is away, CAN_ERR_INVALID_HANDLE after
    // it came back (or for no handle). info: its live channel record when it is a gateway.
    std::int32_t CheckHandle(std::int32_t handle, std::uint8_t* info = nullptr,
                             bool* isGateway = nullptr);

    // canIoCtl: the bus's own functions, where a gateway's handle also counts the frames waiting
    // in the gateway itself (function 9) and empties them with the flush (function 11).
    std::int32_t IoCtl(std::int32_t handle, std::uint32_t function, void* buffer,
                       std::uint32_t length);
    // canSetNotify and canClose: besides the bus, the driver learns which window a gateway's
    // handle notifies, so that the control side can notify it too.
    std::int32_t SetNotify(std::int32_t handle, std::uintptr_t window, std::uint32_t flags);
    std::int32_t Close(std::int32_t handle);

    CanBusSet& Bus() { return FBus; }
    bool Initialized();

    void Notify(std::uintptr_t window, std::int32_t handle, std::uint32_t event) override;

private:
    CanLibrary();
    ~CanLibrary();
    // Made when the library is loaded and gone when it is freed: a function's static would be
    // made under a guard of the thread library, which keeps a thread record of the caller.
    static CanLibrary FInstance;

    // An ".info" handle on a listed gateway, holding it: while held its ".exclusive" object
    // cannot be opened. It lets go with a request before it closes, so that the gateway is free
    // the moment the library is released.
    class HeldInfo {
    public:
        HeldInfo() = default;
        explicit HeldInfo(UniqueFileHandle handle);
        HeldInfo(HeldInfo&&) = default;
        HeldInfo& operator=(HeldInfo&& other) noexcept;
        ~HeldInfo() { release(); }
        HANDLE get() const { return FHandle.get(); }
        explicit operator bool() const { return FHandle.valid(); }

    private:
        void release() noexcept;
        UniqueFileHandle FHandle;
    };
    struct Gateway {
        std::uint32_t number = 0;
        HeldInfo info;
        std::uint32_t generation = 0;
        // The gateway's life the handle was opened in, as the driver's list gave it: while the
        // list gives the same, the handle is current without asking.
        std::optional<std::uint32_t> incarnation;
    };
    struct Channel {
        bool gateway;
        std::uint32_t id; // gateway number or place among the virtual channels
    };

    void refresh();
    // The gateway with that number with a current handle: known from the incarnation the list
    // gave, else asked (its record into info when wanted), else opened again. Null when it does
    // not answer.
    Gateway* link(std::uint32_t number, std::optional<std::uint32_t> listed = std::nullopt,
                  std::uint8_t* info = nullptr);
    bool query(Gateway& gateway, std::uint8_t* info);
    bool reopen(Gateway& gateway, std::optional<std::uint32_t> listed);
    std::optional<Channel> channel_at(std::int32_t index) const;
    // The gateway number of a handle on a gateway's channel.
    std::optional<std::uint32_t> gateway_of(std::int32_t handle);
    void drop_notify_targets(std::int32_t handle, bool every_handle);

    EmulatorLink FLink; // first: the members after it may still use it when they go
    CanLock FLock;
    bool FInitialized = false;
    std::vector<Gateway> FGateways; // ascending by number
    std::vector<std::string> FVirtual;
    std::vector<Vg730EntryFault> FFaults;
    std::uint32_t FGenerations = 0;
    // Time stamps count from the load, in the multimedia timer's milliseconds as a vendor's
    // library takes them: so the library depends on winmm.dll, as such libraries do.
    DWORD FLoadedAt;
    // Whether the driver was told of a window: only then is there anything to take back.
    std::atomic<bool> FNotifyTargets = false;
    CanBusSet FBus;
};

// Bus number of a channel: gateways by their number, virtual channels above them.
inline constexpr std::uint64_t VirtualChannelBase = 0x10000;

} // namespace vg730emu
