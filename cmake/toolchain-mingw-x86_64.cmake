# Cross build for 64-bit Windows with mingw-w64 (the builds we run under Wine).
# Use: cmake --preset win64, or -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake.
# The -posix compilers are required: the win32 thread model has no std::mutex.
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
