// Portable side: the decisions between identifying a device and programming it: the EAN
// assertion, the bootstrap guard and, in index mode, the choice of image from an index file.
#pragma once

#include "settings.h"

#include <cstdint>

namespace flash {

// With "-assert_ean=" the run ends at the first device identified: the exit code it ends with,
// 0 when the device's EAN is the asserted one, else 1. -1 when no EAN is asserted.
int asserted_ean_exit_code(ean_words card_ean);
// True when the run must end because the device, a Corvane Pro by its EAN, may not be programmed
// before its new bootstrap is confirmed ("-cvpro") or checks are skipped ("-unattended"); the
// warning is printed then.
bool bootstrap_guard_stops(ean_words card_ean);

// "File": 511 characters, in UTF-8, and the terminating zero.
constexpr int index_file_characters = 511;
constexpr int index_file_capacity = static_cast<int>(utf8_bytes_for(index_file_characters)) + 1;

// Looks up the first entry in "F" order that fits the EAN and hardware major version (0 fits
// any), fills the zero words of settings.target_version from "default" and the entry, and
// copies the entry's "File" into file. false when no entry fits.
bool find_index_entry(const char* index_path, ean_words card_ean, std::uint32_t hw_major,
                      char (&file)[index_file_capacity]);

// Puts ".\" in front of a path without a backslash, so that the profile reader looks in the
// current directory rather than in the system's folder. false when the result would not fit.
bool make_index_path_local(char (&path)[image_path_capacity]);

} // namespace flash
