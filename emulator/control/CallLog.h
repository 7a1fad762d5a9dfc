// Portable: the emulated CAN library's call log as the control side reads it from the driver,
// page by page, and as "vg730emu calls" prints it. The Windows side only carries the pages.
#pragma once

#include "Vg730Emulator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vg730emu {

// One call as the library logged it on entry. What an entry logs: its integer arguments in
// order (pointers left out; canTranslateBaud logs the bit rate it was handed, canSetNotify the
// window as a number), and for canWrite the data bytes, for canIoCtl the first bytes its buffer
// held (at most 8 of either).
struct CanCall {
    std::uint32_t sequence = 0; // 1 for the first call after a reset or clear
    std::string entry;
    std::vector<std::int64_t> args;
    std::vector<std::uint8_t> data;

    bool operator==(const CanCall&) const = default;
};

struct CanCallLog {
    std::uint32_t total = 0; // calls since the last reset or clear, kept or not
    std::array<std::uint32_t, VG730_CAN_ENTRY_COUNT> counts{}; // by place in CanLibEntryNames
    std::vector<CanCall> calls;                                // the newest ones kept, oldest first

    // Calls of the entry since the last reset or clear; 0 for a name that is no entry.
    std::uint32_t Count(std::string_view entry) const;
    // The kept calls of one entry, oldest first.
    std::vector<CanCall> Of(std::string_view entry) const;
};

// Reads the whole log; send carries one page request to the driver and its answer back, and
// throws when the driver does not answer.
CanCallLog ReadCallLog(const std::function<void(Vg730CallsRequest&)>& send);

// "canOpenChannel 0 168", "canWrite 0 291 3 2 data=11 22 33": the entry, its arguments in
// decimal, then the data bytes in hexadecimal.
std::string CallText(const CanCall& call);
// What "vg730emu calls" prints: "calls=N", "count.<entry>=N" for each entry, then
// "call=<sequence> <CallText>" for each kept call.
std::vector<std::string> CallLogLines(const CanCallLog& log);

} // namespace vg730emu
