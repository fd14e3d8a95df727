# Test support: GoogleTest cross-built from Debian's source package, and every
# Windows test binary run under Wine through the build tree's wrapper.
set(QS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(QS_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QS_WINE_RUN})

set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# The prefix is made once before any test and the server ended after all.
add_test(NAME wine-prefix-up COMMAND ${QS_WINE_RUN} cmd /c exit)
set_tests_properties(wine-prefix-up PROPERTIES FIXTURES_SETUP wine)
add_test(NAME wine-prefix-down COMMAND ${QS_WINE_RUN} --stop)
set_tests_properties(wine-prefix-down PROPERTIES FIXTURES_CLEANUP wine)

# qs_add_gtest(<name> SOURCES ... LIBS ... [LOCK <resource>...])
# One GoogleTest program; each of its tests becomes a CTest test run under Wine.
function(qs_add_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;LOCK;PROPERTIES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gmock GTest::gtest_main)
  set(props FIXTURES_REQUIRED wine)
  if(A_LOCK)
    list(JOIN A_LOCK "," locks)
    list(APPEND props RESOURCE_LOCK "${locks}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ${props} ${A_PROPERTIES})
endfunction()

# The end-to-end scripts and their library (tests/common/e2e.py) run with Debian's Python.
find_program(QS_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

# qs_script_cases(<var> <file.py>)
# The cases an end-to-end script declares, as "name [tag...]" entries, read from
# `<file.py> --list`; editing the script or the library configures again.
function(qs_script_cases var script)
  set(library ${CMAKE_SOURCE_DIR}/tests/common/e2e.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script} ${library})
  execute_process(COMMAND ${QS_SYSTEM_PYTHON} ${script} --list
                  OUTPUT_VARIABLE listing ERROR_VARIABLE problem RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR listing STREQUAL "")
    message(FATAL_ERROR "${script} --list failed (${status}): ${problem}")
  endif()
  string(STRIP "${listing}" listing)
  string(REPLACE "\n" ";" listing "${listing}")
  set(${var} ${listing} PARENT_SCOPE)
endfunction()

# qs_add_e2e_cases(<name> SCRIPT <file.py>)
# Every case of an end-to-end script, each run as a CTest test <name>-<case>
# with: script case wine-run bin-folder work-folder. They share a Wine prefix
# of their own (wineprefix-<name>), made before the first and stopped after
# the last, and run one at a time in it. A case tagged "display" runs under
# Xvfb instead, as the first process of a prefix of its own
# (wineprefix-<name>-display), which the case stops at its end.
function(qs_add_e2e_cases name)
  cmake_parse_arguments(A "" "SCRIPT" "" ${ARGN})
  qs_script_cases(cases ${A_SCRIPT})
  set(prefix QS_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-${name})
  add_test(NAME ${name}-prefix-up COMMAND ${QS_WINE_RUN} cmd /c exit)
  add_test(NAME ${name}-prefix-down COMMAND ${QS_WINE_RUN} --stop)
  set_tests_properties(${name}-prefix-up PROPERTIES FIXTURES_SETUP ${name} ENVIRONMENT ${prefix})
  set_tests_properties(${name}-prefix-down PROPERTIES FIXTURES_CLEANUP ${name}
                                                      ENVIRONMENT ${prefix})
  foreach(entry ${cases})
    string(REPLACE " " ";" tags "${entry}")
    list(POP_FRONT tags case)
    if("display" IN_LIST tags)
      add_test(NAME ${name}-${case}
               COMMAND xvfb-run -a -s "-screen 0 1024x768x24" ${QS_SYSTEM_PYTHON} ${A_SCRIPT}
                       ${case} ${QS_WINE_RUN} ${CMAKE_BINARY_DIR}/bin
                       ${CMAKE_CURRENT_BINARY_DIR}/e2e-display)
      set_tests_properties(${name}-${case} PROPERTIES
        ENVIRONMENT QS_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-${name}-display
        RESOURCE_LOCK wineprefix-${name}-display)
    else()
      add_test(NAME ${name}-${case}
               COMMAND ${QS_SYSTEM_PYTHON} ${A_SCRIPT} ${case} ${QS_WINE_RUN}
                       ${CMAKE_BINARY_DIR}/bin ${CMAKE_CURRENT_BINARY_DIR}/e2e)
      set_tests_properties(${name}-${case} PROPERTIES
        FIXTURES_REQUIRED ${name} RESOURCE_LOCK ${name}-prefix ENVIRONMENT ${prefix})
    endif()
  endforeach()
endfunction()
