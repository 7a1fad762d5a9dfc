# Cross build for 32-bit Windows with mingw-w64 (the release programs).
# Use: cmake --preset win32. The win64 build tree builds this one too and, where this machine runs
# 32-bit programs under Wine, tests these programs as they ship (cmake/Win32Programs.cmake).
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
