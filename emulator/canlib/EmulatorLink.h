// Windows side: the emulated CAN library's one connection to the control object of the
// emulator's driver, "\\.\Vg730EmuControl": opened at first use, kept until the library is
// released. Through it the library reads its channel list and entry faults and logs its calls.
#pragma once

#include "CanSync.h"
#include "Vg730Emulator.h"
#include "WinHandles.h"

#include <cstdint>

namespace vg730emu {

class EmulatorLink {
public:
    // Sends the request and reads the answer into it. False when the driver does not answer
    // (not running: the library then lists nothing) or answers with a failure.
    template <typename T> bool Request(std::uint32_t code, T& request) {
        return Send(code, &request, sizeof(request)) && request.result == VG730_OK;
    }

private:
    bool Send(std::uint32_t code, void* buffer, std::uint32_t size);

    CanLock FLock;
    UniqueFileHandle FControl;
};

} // namespace vg730emu
