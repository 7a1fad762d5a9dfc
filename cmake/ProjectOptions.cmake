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

# The same sources give the same program bytes, wherever the checkout and the build folder lie and
# whenever they are built (scripts/release, release.reproducible): no link time in the PE header
# (the header's checksum follows from it), no build paths in __FILE__ texts, and the release
# programs carry no debug information (the runtime libraries bring theirs, with the paths of their
# own build).
if(WIN32)
    add_link_options(-Wl,--no-insert-timestamp)
endif()
add_compile_options(
    "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>"
    "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>")
if(WIN32)
    add_link_options($<$<CONFIG:Release>:-s>)
endif()

# Programs and test binaries land in one folder per build, as they are installed side by side.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
