// Windows side: the emulated CAN library's one connection to the emulator's driver: its control
// object "\\.\Vg730EmuControl" and the call log it shares ("Global\Vg730EmuCallLog"), both
// opened at first use and kept until the library is released. Through it the library reads its
// channel list and entry faults and logs its calls.
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
    // Logs one call: written into the shared log, or sent to the driver when the log cannot be
    // mapped (a driver of another build).
    void Log(const Vg730Call& call);

private:
    struct ViewTraits {
        using Type = void*;
        static Type Invalid() noexcept { return nullptr; }
        static void Close(Type view) noexcept { UnmapViewOfFile(view); }
    };

    bool Send(std::uint32_t code, void* buffer, std::uint32_t size);
    Vg730CallLog* shared_log();

    CanLock FLock;
    UniqueFileHandle FControl;
    UniqueHandle FLogSection;
    UniqueResource<ViewTraits> FLogView; // after the section: unmapped before it closes
};

} // namespace vg730emu
