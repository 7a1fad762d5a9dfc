// Portable: the 34 entry points the emulated CAN library exports by name, in the order a caller
// resolves them. The control tool checks names of faults and missing entries against it.
#pragma once

#include <string_view>

namespace vg730emu {

inline constexpr std::string_view CanLibEntryNames[] = {
    "canLocateHardware",
    "canInitializeLibrary",
    "canOpen",
    "canClose",
    "canBusOn",
    "canBusOff",
    "canSetBusParams",
    "canGetBusParams",
    "canSetBusOutputControl",
    "canGetBusOutputControl",
    "canAccept",
    "canReadStatus",
    "canReadErrorCounters",
    "canWrite",
    "canWriteSync",
    "canRead",
    "canReadWait",
    "canReadSpecific",
    "canReadSync",
    "canReadSyncSpecific",
    "canReadSpecificSkip",
    "canSetNotify",
    "canTranslateBaud",
    "canGetErrorText",
    "canGetVersion",
    "canIoCtl",
    "canReadTimer",
    "canGetNumberOfChannels",
    "canGetChannelData",
    "canOpenChannel",
    "canWaitForEvent",
    "canSetBusParamsC200",
    "canGetVersionEx",
    "canUnloadLibrary",
};

inline bool IsCanLibEntry(std::string_view name) {
    for (std::string_view entry : CanLibEntryNames) {
        if (entry == name) {
            return true;
        }
    }
    return false;
}

} // namespace vg730emu
