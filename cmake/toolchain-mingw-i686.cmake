# Cross build for 32-bit Windows with mingw-w64 (the release programs).
# Use: cmake --preset win32. These binaries are only linked here: the build machines cannot run
# 32-bit code, so the same sources are tested in the 64-bit build.
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
