// Windows side: the emulated CAN library's connection to the emulator's driver.
#include "EmulatorLink.h"

#include <mutex>

namespace vg730emu {

bool EmulatorLink::Send(std::uint32_t code, void* buffer, std::uint32_t size) {
    std::lock_guard<CanLock> guard(FLock);
    if (!FControl) {
        // Tried again at every request: the driver may be started after the library loaded.
        FControl.reset(CreateFileW(L"\\\\.\\Vg730EmuControl", GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
        if (!FControl) {
            return false;
        }
    }
    DWORD returned = 0;
    if (!DeviceIoControl(FControl.get(), code, buffer, size, buffer, size, &returned, nullptr)) {
        // A driver restarted by a new install answers on a new handle only.
        FControl.reset();
        return false;
    }
    return returned == size;
}

} // namespace vg730emu
