// Native side: index files through the programmer's own profile reader.
#include "platform.h"
#include "ProfileReader.h"

namespace flash::platform {

namespace {

// Opened per read, as the Windows reader does: the file can change between reads.
struct profile_file {
    explicit profile_file(const char* path) : file(open_file_for_reading(path)) {}
    profile_file(const profile_file&) = delete;
    profile_file& operator=(const profile_file&) = delete;
    ~profile_file() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
    std::FILE* file;
};

} // namespace

std::uint32_t profile_read_string(const char* section, const char* key, const char* default_text,
                                  char* text, std::uint32_t size, const char* path) {
    profile_file f(path);
    return flash_test::profile_string(f.file, section, key, default_text, text, size);
}

std::uint32_t profile_read_int(const char* section, const char* key, int default_value,
                               const char* path) {
    profile_file f(path);
    return flash_test::profile_int(f.file, section, key, default_value);
}

} // namespace flash::platform
