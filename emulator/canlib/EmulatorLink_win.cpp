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

Vg730CallLog* EmulatorLink::shared_log() {
    std::lock_guard<CanLock> guard(FLock);
    if (!FLogView) {
        FLogSection.reset(
            OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, L"Global\\Vg730EmuCallLog"));
        if (FLogSection) {
            FLogView.reset(
                MapViewOfFile(FLogSection.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
        }
        if (FLogView &&
            static_cast<const Vg730CallLog*>(FLogView.get())->size != sizeof(Vg730CallLog)) {
            FLogView.reset();
        }
    }
    return static_cast<Vg730CallLog*>(FLogView.get());
}

void EmulatorLink::Log(const Vg730Call& call) {
    if (Vg730CallLog* log = shared_log()) {
        vg730_call_log_record(log, &call);
        return;
    }
    Vg730CallRequest request{};
    request.call = call;
    Request(VG730_CTL_CALL, request); // a library without its driver logs nothing
}

} // namespace vg730emu
