# Compiler settings shared by every target of the project (not by GoogleTest).

# Warnings are errors in every preset.
add_library(vg_warnings INTERFACE)
target_compile_options(vg_warnings INTERFACE -Wall -Wextra -Werror)

# The one way Windows headers are configured: see Core/Common/Standalone/WinApi.h.
add_library(vg_winapi INTERFACE)
target_include_directories(vg_winapi INTERFACE ${PROJECT_SOURCE_DIR}/Core/Common/Standalone)

if(VG_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

# Programs and test binaries land in one folder per build, as they are installed side by side.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
