# Test helpers. Native test binaries run directly; Windows test binaries run under Wine through
# CMAKE_CROSSCOMPILING_EMULATOR, inside the build tree's own Wine environment (scripts/wine-env).
include(GoogleTest)

# GoogleTest from Debian's source package, built with the compiler of this build (also mingw).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
find_path(VG_GOOGLETEST_SOURCE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_subdirectory(${VG_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

if(WIN32)
    set(VG_WINE_ROOT ${PROJECT_BINARY_DIR}/wine CACHE PATH "Wine environment of this build tree")
    set(VG_WINE_ENV ${PROJECT_SOURCE_DIR}/scripts/wine-env)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VG_WINE_ENV} ${VG_WINE_ROOT} run)

    # One Wine session for the whole run: started before the first Windows test, stopped after
    # the last one, so no wineserver, service process or Xvfb outlives ctest.
    add_test(NAME wine.start COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} start)
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
    add_test(NAME wine.stop COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} stop)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# vg_add_gtest(NAME SOURCES... [LIBRARIES...] [SHARED_STATE] [TIMEOUT s] [DEPENDS targets...]
#              [FIXTURES names...] [ENVIRONMENT VAR=value])
# A GoogleTest binary. Under Wine, SHARED_STATE marks tests that change the prefix's registry or
# the emulated devices: they take the one lock on that state and never run side by side.
# FIXTURES names further ctest fixtures the tests need (for example the installed emulator).
# ENVIRONMENT is set for the test programs and every Windows program they start (one variable;
# Wine reads some of its own, such as WINEDLLOVERRIDES, only from there).
function(vg_add_gtest name)
    cmake_parse_arguments(ARG "SHARED_STATE" "TIMEOUT" "SOURCES;LIBRARIES;DEPENDS;FIXTURES;ENVIRONMENT"
                          ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main vg_warnings)
    if(ARG_DEPENDS)
        add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    # Under Wine the first listing of a run may create the prefix and start the session (about
    # 20 s on a quiet machine, several times that on a busy one): no listing may fail for that.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 NO_PRETTY_VALUES
                         WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
                         TEST_LIST ${name}_TESTS)
    # Discovery passes PROPERTIES on as one flat list, which breaks list values such as two
    # fixtures; so the properties are set by a script that runs after the discovered tests exist.
    set(props "TIMEOUT ${ARG_TIMEOUT}")
    if(WIN32)
        set(fixtures wine ${ARG_FIXTURES})
        string(APPEND props " FIXTURES_REQUIRED \"${fixtures}\"")
        if(ARG_SHARED_STATE)
            string(APPEND props " RESOURCE_LOCK wine_state")
        endif()
    endif()
    if(ARG_ENVIRONMENT)
        string(APPEND props " ENVIRONMENT \"${ARG_ENVIRONMENT}\"")
    endif()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${script}
         "foreach(test IN LISTS ${name}_TESTS)\n"
         "    set_tests_properties(\"\${test}\" PROPERTIES ${props})\n"
         "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# vg_add_wine_script_test(NAME COMMAND... [SHARED_STATE] [TIMEOUT s] [FIXTURES names...])
# A test written as a Linux script that drives Windows programs; it runs inside the build tree's
# Wine environment (WINEPREFIX, DISPLAY and WINE_ENV_ROOT are set for it).
function(vg_add_wine_script_test name)
    cmake_parse_arguments(ARG "SHARED_STATE" "TIMEOUT" "COMMAND;FIXTURES" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} shell ${ARG_COMMAND})
    # One property a call: list values (fixtures, environment) must stay whole.
    set(fixtures wine ${ARG_FIXTURES})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}")
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "VG_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};VG_SOURCE=${PROJECT_SOURCE_DIR}")
    if(ARG_SHARED_STATE)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine_state)
    endif()
endfunction()

# vg_add_wine_run_target(TARGET [ARGS...])
# A build target TARGET_run that runs the Windows program TARGET once in the build tree's Wine
# environment and stops that environment afterwards: how benchmarks, which print figures and are
# no tests, are run.
function(vg_add_wine_run_target target)
    add_custom_target(${target}_run
        COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} run $<TARGET_FILE:${target}> ${ARGN}
        COMMAND ${VG_WINE_ENV} ${VG_WINE_ROOT} stop
        DEPENDS ${target}
        USES_TERMINAL VERBATIM)
endfunction()
