# The 32-bit release programs under test, from a 64-bit build tree.
#
# The programs ship 32-bit; the 64-bit builds are the ones always tested. Where this machine runs
# 32-bit Windows programs, chosen Wine tests run once more against the release build of them: the
# win32 build tree (VG_WIN32_BUILD_DIR, set by the win64 preset), which builds beside the two
# programs the 32-bit emulated CAN library, the default image and a probe (VG_WITH_TEST_DOUBLES).
#
# - Building this tree builds that one first (configuring it with its preset when it is new), so
#   no test runs stale 32-bit programs, and puts its CAN library into bin/x86, where
#   vg730emu install takes it from for the prefix's syswow64.
# - The test win32.check decides at the start of a run whether 32-bit programs run here
#   (scripts/win32-check; VG_RUN_32BIT=no or yes decides without looking) and writes its verdict.
# - vg_add_win32_run() registers the 32-bit run of a test binary's chosen cases; a case reads the
#   verdict and is reported skipped, with the reason, where 32-bit programs do not run
#   (tests/support/ProgramsUnderTest.h).
# A tree configured with VG_WIN32_BUILD_DIR empty has no 32-bit runs at all.

set(VG_WIN32_BUILD_DIR "" CACHE PATH
    "win32 build tree whose programs the Wine tests also run (empty: none)")
if(NOT VG_WIN32_BUILD_DIR)
    function(vg_add_win32_run)
    endfunction()
    return()
endif()

set(VG_WIN32_BIN ${VG_WIN32_BUILD_DIR}/bin)
set(VG_WIN32_VERDICT ${VG_WINE_ROOT}/win32-verdict)

# Paths as the Windows programs see them: Wine's drive Z: is the Linux root.
function(vg_windows_path out path)
    string(REPLACE "/" "\\" windows "Z:${path}")
    set(${out} "${windows}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS ${VG_WIN32_BUILD_DIR}/CMakeCache.txt)
    execute_process(COMMAND ${CMAKE_COMMAND} --preset win32
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_QUIET
                    COMMAND_ERROR_IS_FATAL ANY)
endif()
set(win32_canlib ${VG_WIN32_BIN}/vg730canlib.dll ${VG_WIN32_BIN}/vg730alapw2.dll)
add_custom_target(win32_programs ALL
    COMMAND ${CMAKE_COMMAND} --build ${VG_WIN32_BUILD_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/x86
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${win32_canlib}
            ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/x86
    BYPRODUCTS ${win32_canlib}
    COMMENT "The 32-bit programs and their emulated CAN library (${VG_WIN32_BUILD_DIR})"
    USES_TERMINAL VERBATIM)

add_test(NAME win32.check
         COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} shell ${PROJECT_SOURCE_DIR}/scripts/win32-check
                 ${VG_WIN32_BIN}/win32_probe.exe ${VG_WIN32_VERDICT})
set_tests_properties(win32.check PROPERTIES FIXTURES_SETUP win32 FIXTURES_REQUIRED wine
                                            TIMEOUT 120)

# vg_add_win32_run(TARGET FILTER gtest-filter [SHARED_STATE] [TIMEOUT s] [FIXTURES names...])
# The cases of the GoogleTest binary TARGET (made with vg_add_gtest) that match the filter, run
# once more against the 32-bit programs, as win32.<case>.
function(vg_add_win32_run target)
    cmake_parse_arguments(ARG "SHARED_STATE" "FILTER;TIMEOUT" "FIXTURES" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_dependencies(${target} win32_programs)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                         WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
                         TEST_PREFIX win32. TEST_FILTER "${ARG_FILTER}"
                         TEST_LIST ${target}_WIN32_TESTS)
    vg_windows_path(programs ${VG_WIN32_BIN})
    vg_windows_path(verdict ${VG_WIN32_VERDICT})
    # As in vg_add_gtest, list values are set by a script that runs after discovery; backslashes
    # are doubled for the script's own quoting.
    string(REPLACE "\\" "\\\\" environment "VG_PROGRAMS=${programs};VG_PROGRAMS_CHECK=${verdict}")
    set(fixtures wine win32 ${ARG_FIXTURES})
    set(props "TIMEOUT ${ARG_TIMEOUT} FIXTURES_REQUIRED \"${fixtures}\"")
    string(APPEND props " ENVIRONMENT \"${environment}\"")
    string(APPEND props " SKIP_REGULAR_EXPRESSION \"32-bit Windows programs do not run here\"")
    if(ARG_SHARED_STATE)
        string(APPEND props " RESOURCE_LOCK wine_state")
    endif()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_win32_properties.cmake)
    file(WRITE ${script}
         "foreach(test IN LISTS ${target}_WIN32_TESTS)\n"
         "    set_tests_properties(\"\${test}\" PROPERTIES ${props})\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()
