// Windows side: index files through the system's profile reader.
#include "platform.h"

#include "WinApi.h"

namespace flash::platform {

std::uint32_t profile_read_string(const char* section, const char* key, const char* default_text,
                                  char* text, std::uint32_t size, const char* path) {
    return GetPrivateProfileStringA(section, key, default_text, text, size, path);
}

std::uint32_t profile_read_int(const char* section, const char* key, int default_value,
                               const char* path) {
    return GetPrivateProfileIntA(section, key, default_value, path);
}

} // namespace flash::platform
