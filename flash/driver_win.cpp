// Windows side: the kernel driver's device objects through CreateFileA and DeviceIoControl, and
// the system's error texts through FormatMessageA.
#include "platform.h"

#include "WinApi.h"

namespace flash::platform {

// A device_ref carries the HANDLE's value; unique_device closes it through close_device_object.
bool open_device_object(const char* path, device_ref& device, std::uint32_t& error) {
    HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    device = reinterpret_cast<device_ref>(handle);
    return true;
}

void close_device_object(device_ref device) {
    CloseHandle(reinterpret_cast<HANDLE>(device));
}

bool device_control(device_ref device, std::uint32_t control_code, void* buffer, std::uint32_t size,
                    std::uint32_t& bytes_returned) {
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(device), control_code, buffer, size,
                                    buffer, size, &returned, nullptr);
    bytes_returned = returned;
    return ok != FALSE;
}

void system_error_text(std::uint32_t code, char* text, std::size_t capacity) {
    if (capacity == 0) {
        return;
    }
    const DWORD size = capacity > 4097 ? 4097 : static_cast<DWORD>(capacity);
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, size, nullptr);
    text[length < size ? length : 0] = '\0';
}

} // namespace flash::platform
