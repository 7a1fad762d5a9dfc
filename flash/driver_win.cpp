// Windows side: the kernel driver's device objects through CreateFileA and DeviceIoControl, and
// the system's error texts through FormatMessageW.
#include "platform.h"
#include "utf16_win.h"

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
    wchar_t wide[4097];
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), wide, 4097, nullptr);
    // The system ends its lines with CR LF, and the C runtime puts a CR before every LF of a
    // message: the CRs go, or the output would hold CR CR LF.
    DWORD kept = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (wide[i] != L'\r' || i + 1 >= length || wide[i + 1] != L'\n') {
            wide[kept++] = wide[i];
        }
    }
    to_utf8(wide, static_cast<int>(kept), text, capacity);
}

} // namespace flash::platform
