// Fuzzer: any bytes as an index file; the first line names the section, the second the key.
#include "FuzzPlatform.h"
#include "platform.h"
#include "ProfileReader.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const char* end = text + size;
    const char* line1 = static_cast<const char*>(std::memchr(text, '\n', size));
    if (line1 == nullptr) {
        return 0;
    }
    const char* line2 = static_cast<const char*>(std::memchr(line1 + 1, '\n', end - line1 - 1));
    if (line2 == nullptr) {
        return 0;
    }
    const std::string section(text, line1);
    const std::string key(line1 + 1, line2);
    flash_fuzz::serve_file(data, size);
    std::FILE* file = flash::platform::open_file_for_reading("index.ini");
    char value[40];
    const std::uint32_t sizes[] = {1, 2, 17, sizeof value};
    for (std::uint32_t s : sizes) {
        const std::uint32_t n =
            flash_test::profile_string(file, section.c_str(), key.c_str(), "default", value, s);
        if (n >= s || std::strlen(value) != n) {
            __builtin_trap();
        }
    }
    flash_test::profile_int(file, section.c_str(), key.c_str(), 5);
    std::fclose(file);
    return 0;
}
