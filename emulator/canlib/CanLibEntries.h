// Portable: the 34 entry points the emulated CAN library exports by name, in the order a caller
// resolves them. The control tool checks names of faults and missing entries against it; the
// call log names an entry by its place in this table.
#pragma once

#include "Vg730Emulator.h"

#include <cstdint>
#include <iterator>
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

static_assert(std::size(CanLibEntryNames) == VG730_CAN_ENTRY_COUNT);

// The place of the entry in the table; the table's size when there is no such entry.
constexpr std::uint32_t CanLibEntryIndex(std::string_view name) {
    std::uint32_t index = 0;
    while (index < std::size(CanLibEntryNames) && CanLibEntryNames[index] != name) {
        ++index;
    }
    return index;
}

inline bool IsCanLibEntry(std::string_view name) {
    return CanLibEntryIndex(name) < std::size(CanLibEntryNames);
}

} // namespace vg730emu
