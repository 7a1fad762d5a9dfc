# Shared part of the mingw-w64 toolchain files; MINGW_TRIPLET selects the architecture.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_TRIPLET})

find_program(MINGW_CC ${MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(MINGW_CXX ${MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(MINGW_RC ${MINGW_TRIPLET}-windres REQUIRED)
set(CMAKE_C_COMPILER ${MINGW_CC})
set(CMAKE_CXX_COMPILER ${MINGW_CXX})
set(CMAKE_RC_COMPILER ${MINGW_RC})

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# No libstdc++/libgcc/winpthread DLLs next to the programs: everything but system DLLs is static.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
