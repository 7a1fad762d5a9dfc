// Windows side: index files through the system's profile reader, by its wide calls, so that an
// index file in any folder is found and its names and file names keep every character.
#include "platform.h"
#include "utf16_win.h"

#include "WinApi.h"

namespace flash::platform {

namespace {

// Room for the names and texts the programmer asks with: far beyond any of its buffers.
constexpr std::size_t wide_capacity = 2048;

struct wide_text {
    wchar_t text[wide_capacity];
    explicit wide_text(const char* utf8) { to_utf16(utf8, text, wide_capacity); }
};

} // namespace

std::uint32_t profile_read_string(const char* section, const char* key, const char* default_text,
                                  char* text, std::uint32_t size, const char* path) {
    if (size == 0) {
        return 0;
    }
    wchar_t value[wide_capacity];
    const DWORD units = GetPrivateProfileStringW(
        wide_text(section).text, wide_text(key).text, wide_text(default_text).text, value,
        size < wide_capacity ? size : wide_capacity, wide_text(path).text);
    return static_cast<std::uint32_t>(to_utf8(value, static_cast<int>(units), text, size));
}

std::uint32_t profile_read_int(const char* section, const char* key, int default_value,
                               const char* path) {
    return GetPrivateProfileIntW(wide_text(section).text, wide_text(key).text, default_value,
                                 wide_text(path).text);
}

} // namespace flash::platform
