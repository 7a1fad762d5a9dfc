// Portable: the log of the driver requests to the emulated gateways as the control side reads it
// from the driver, page by page, and as "vg730emu requests" prints it. The Windows side only
// carries the pages.
#pragma once

#include "Vg730Emulator.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vg730emu {

struct DriverRequestLog {
    std::uint32_t total = 0;            // requests since the last reset or clear, kept or not
    std::vector<Vg730Request> requests; // the newest ones kept, oldest first

    // The kept requests to one gateway, oldest first.
    std::vector<Vg730Request> Of(std::uint32_t number) const;
};

// Reads the whole log; send carries one page request to the driver and its answer back, and
// throws when the driver does not answer.
DriverRequestLog ReadRequestLog(const std::function<void(Vg730RequestsRequest&)>& send);

// One request without its sequence number: the gateway, the object, the request with what it
// carries, then what it was answered. For example
//   "#0 info get_card_info status=0"
//   "#0 exclusive flash_command FLASH_START 2.5.177 status=0"
//   "#0 exclusive download 0x00001fe8 16 status=0"
//   "#3 exclusive upload 0x00010000 16 failed=sharing"
// (flash commands carry their version words as major.minor.build).
std::string RequestText(const Vg730Request& request);
// What "vg730emu requests" prints: "requests=N", then "request=<sequence> <RequestText>" for
// each kept request.
std::vector<std::string> RequestLogLines(const DriverRequestLog& log);

} // namespace vg730emu
