// Windows side, tests only: which build of the programs a Wine test runs. By default the 64-bit
// builds beside the test program. A 32-bit run (vg_add_win32_run in cmake/Win32Programs.cmake)
// sets two variables: VG_PROGRAMS, the folder of the 32-bit release programs with the default
// image beside them, and VG_PROGRAMS_CHECK, the file with the run's verdict on 32-bit programs
// ("yes" or "no: <reason>"). Where they do not run, every case of that test program is skipped
// with the reason; linking this module is all it takes.
#pragma once

#include "WinApi.h"

#include <filesystem>

namespace programs {

// The folder of vessa_flash.exe, VG730FirmwareUpdate.exe and the default image under test.
std::filesystem::path Folder();

// The registry view a program reads as its own: the 32-bit one for a 32-bit program.
REGSAM OwnRegistryView(const std::filesystem::path& program);

} // namespace programs
