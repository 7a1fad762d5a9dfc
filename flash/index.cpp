// Portable side: EAN assertion, bootstrap guard and index file lookup.
#include "index.h"

#include "platform.h"

#include <cstdio>
#include <cstring>

namespace flash {

namespace {

constexpr std::uint32_t corvane_pro_ean_lo[] = {0x99004018, 0x99004025, 0x99004032};

struct version_key {
    std::uint32_t version_words::*word;
    const char* key;
};
constexpr version_key version_keys[] = {
    {&version_words::major, "MajorVersion"},
    {&version_words::minor, "MinorVersion"},
    {&version_words::build, "BuildNumber"},
};

// A word of the target version that is still 0 is taken from the section; once non-zero it
// stays for the rest of the run.
void fill_target_version(const char* section, const char* path) {
    for (const version_key& v : version_keys) {
        std::uint32_t& word = settings.target_version.*v.word;
        if (word == 0) {
            word = platform::profile_read_int(section, v.key, 0, path);
        }
    }
}

} // namespace

int asserted_ean_exit_code(ean_words card_ean) {
    if (settings.assert_ean == 0) {
        return -1;
    }
    return card_ean == settings.asserted_ean ? 0 : 1;
}

bool bootstrap_guard_stops(ean_words card_ean) {
    if (settings.cvpro_confirmed != 0 || settings.unattended != 0) {
        return false;
    }
    for (std::uint32_t lo : corvane_pro_ean_lo) {
        if (card_ean.lo == lo) {
            std::FILE* err = platform::error_stream();
            std::fflush(platform::output_stream());
            std::fputs("\nWarning: Corvane Pro needs new bootstrap first.\nUse -cvpro flag to "
                       "confirm that you have the correct\nbootstrap.\n\n",
                       err);
            std::fflush(err);
            return true;
        }
    }
    return false;
}

bool find_index_entry(const char* index_path, ean_words card_ean, std::uint32_t hw_major,
                      char (&file)[index_file_capacity]) {
    fill_target_version("default", index_path);
    for (int i = 0;; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "F%d", i);
        char section[300];
        if (platform::profile_read_string("index", key, "", section, sizeof section, index_path) ==
            0) {
            return false;
        }
        // Description, Version and Date belong to an entry but decide nothing here.
        char description[500];
        char version[300];
        platform::profile_read_string(section, "Description", "", description, sizeof description,
                                      index_path);
        platform::profile_read_string(section, "Version", "", version, sizeof version, index_path);
        platform::profile_read_string(section, "File", "", file, sizeof file, index_path);
        platform::profile_read_int(section, "Date", 0, index_path);
        const std::uint32_t ean_lo = platform::profile_read_int(section, "EanLo", 0, index_path);
        const std::uint32_t ean_hi = platform::profile_read_int(section, "EanHi", 0, index_path);
        const std::uint32_t hwr =
            platform::profile_read_int(section, "Hwr", static_cast<int>(hw_major), index_path);
        if (ean_lo == card_ean.lo && ean_hi == card_ean.hi && (hw_major == 0 || hwr == hw_major)) {
            fill_target_version(section, index_path);
            return true;
        }
    }
}

bool make_index_path_local(char (&path)[image_path_capacity]) {
    if (std::strchr(path, '\\') != nullptr) {
        return true;
    }
    if (utf16_length(path) + 2 > image_path_characters) {
        return false;
    }
    const std::size_t length = std::strlen(path);
    std::memmove(path + 2, path, length + 1);
    path[0] = '.';
    path[1] = '\\';
    return true;
}

} // namespace flash
