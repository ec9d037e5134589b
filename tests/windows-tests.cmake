# Tests of the Windows build, run under Wine in a private prefix inside the build tree.
#  - tests/com/*_test.cpp: one GoogleTest program each, against the registered DLL, run under
#    both code pages;
#    frame_*_test.cpp files link the server's core and start it inside the test program.
#  - tests/scripts/*.vbs, *.js: run by cscript, under the Japanese locale (code page 932) and
#    the default one (code page 1252). A line "zones: A B" in a script runs it once per zone.
#  - tests/fixtures/*.c: helper DLLs for regsvr and regsvr_u.
# When each program runs, with which arguments, and which cases the kit leaves out per user:
# tests/test-policy.txt, read here and by scripts/package-test-kit.

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# The prefix's architecture, win32 or win64 by the toolchain: wine-run reads it from here.
file(WRITE ${CMAKE_BINARY_DIR}/wine-arch "${WINE_ARCH}\n")
set(WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN} ${WINE_PREFIX})

# Windows paths of the build, for tests that name files (Wine maps Z: to the root).
function(windows_path out unix)
  string(REPLACE "/" "\\" p "${unix}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
windows_path(WIN_DLL ${CMAKE_BINARY_DIR}/Vantorelix.dll)
windows_path(WIN_BUILD ${CMAKE_BINARY_DIR})
windows_path(WIN_FIXTURES ${CMAKE_BINARY_DIR}/fixtures)
windows_path(WIN_SOURCE ${CMAKE_SOURCE_DIR})
set(TEST_TEMP ${CMAKE_BINARY_DIR}/test-temp)
file(MAKE_DIRECTORY ${TEST_TEMP})
windows_path(WIN_TEMP ${TEST_TEMP})
set(WINE_TEST_ENV
  "VANTORELIX_DLL=${WIN_DLL}" "VANTORELIX_BUILD=${WIN_BUILD}" "VANTORELIX_FIXTURES=${WIN_FIXTURES}"
  "VANTORELIX_SOURCE=${WIN_SOURCE}" "VANTORELIX_TEMP=${WIN_TEMP}" "VANTORELIX_ARCH=${WINE_ARCH}"
  "VANTORELIX_VERSION=${PROJECT_VERSION}")

# The 32-bit DLL beside the 64-bit one, for the side-by-side registration test: a win64 tree
# takes it from the win32 tree next to it, and runs it only where this machine runs 32-bit
# programs (otherwise the test prints why it cannot).
if(WINE_ARCH STREQUAL "win64")
  set(VANTORELIX_DLL32 ${CMAKE_BINARY_DIR}/../win32/Vantorelix.dll CACHE FILEPATH
    "The 32-bit DLL that the side-by-side registration test registers beside the 64-bit one")
  get_filename_component(dll32 ${VANTORELIX_DLL32} ABSOLUTE)
  windows_path(WIN_DLL32 ${dll32})
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/can-run-32bit
    OUTPUT_VARIABLE why RESULT_VARIABLE cannot OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(cannot)
    string(REPLACE ";" "," runs32 "${why}")
  else()
    set(runs32 yes)
  endif()
  list(APPEND WINE_TEST_ENV "VANTORELIX_DLL32=${WIN_DLL32}" "VANTORELIX_RUNS_32BIT=${runs32}")
endif()

# The test policy, one run a line: POLICY_RUNS names the runs in order; for each run,
# POLICY_<run>_PROGRAM, _PHASE, _ARGS (a list) and _LEFT_OUT (a list of Suite.Case);
# POLICY_PROGRAMS names every program once.
set(TEST_POLICY ${CMAKE_SOURCE_DIR}/tests/test-policy.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TEST_POLICY})
file(STRINGS ${TEST_POLICY} policy_lines)
set(POLICY_RUNS)
set(POLICY_PROGRAMS)
foreach(line IN LISTS policy_lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  string(REPLACE "|" ";" fields "${line}")
  list(LENGTH fields count)
  if(NOT count EQUAL 5)
    message(FATAL_ERROR "tests/test-policy.txt: five fields between \"|\" a line, not: ${line}")
  endif()
  list(TRANSFORM fields STRIP)
  list(GET fields 0 run)
  list(GET fields 1 program)
  list(GET fields 2 phase)
  list(GET fields 3 args)
  list(GET fields 4 left_out)
  if(NOT phase MATCHES "^(unregistered|registered|machine)$")
    message(FATAL_ERROR "tests/test-policy.txt: ${run} has no phase of the three: ${phase}")
  endif()
  if(run IN_LIST POLICY_RUNS)
    message(FATAL_ERROR "tests/test-policy.txt: the run ${run} stands twice")
  endif()
  separate_arguments(args UNIX_COMMAND "${args}")
  string(REPLACE ":" ";" left_out "${left_out}")
  list(APPEND POLICY_RUNS ${run})
  if(NOT program IN_LIST POLICY_PROGRAMS)
    list(APPEND POLICY_PROGRAMS ${program})
  endif()
  set(POLICY_${run}_PROGRAM ${program})
  set(POLICY_${run}_PHASE ${phase})
  set(POLICY_${run}_ARGS ${args})
  set(POLICY_${run}_LEFT_OUT ${left_out})
endforeach()

# GoogleTest, cross-built with the same compilers and linked statically.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Fixture DLLs.
set(FIXTURE_SOURCES
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_divide_zero.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_false.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_float_divide.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_float_unmask.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_loose_code.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_no_entry.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_ok.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_own_handler.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_privileged.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_raise.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_read_null.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_record.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_stack_overflow.c
  ${CMAKE_SOURCE_DIR}/tests/fixtures/fixture_write_null.c)
set(FIXTURE_TARGETS)
foreach(src ${FIXTURE_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_library(fixture_${name} SHARED ${src})
  set_target_properties(fixture_${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fixtures RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fixtures)
  # No link time in the image: the test kit holds the fixtures as they are built.
  target_link_options(fixture_${name} PRIVATE ${VANTORELIX_STATIC_LINK} -Wl,--kill-at ${VANTORELIX_REPRODUCIBLE_LINK})
  list(APPEND FIXTURE_TARGETS fixture_${name})
endforeach()

# The code page check of the script runs (scripts/run-script-test finds it beside the prefix).
add_executable(print_acp ${CMAKE_SOURCE_DIR}/tests/tools/print_acp.c)
target_link_options(print_acp PRIVATE ${VANTORELIX_STATIC_LINK})

# The prefix is made and the DLL registered once, before every test that needs Wine.
add_test(NAME wine_register
  COMMAND ${WINE_RUN} ${WINE_PREFIX} regsvr32 /s ${WIN_DLL})
set_tests_properties(wine_register PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-stop ${WINE_PREFIX})
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

# regsvr32 /u leaves no entry behind, and regsvr32 writes them all again.
windows_path(WIN_REGISTRY_CHECK ${CMAKE_SOURCE_DIR}/tests/registration/registry_state.js)
add_test(NAME regsvr32_unregister_and_register
  COMMAND ${CMAKE_SOURCE_DIR}/tests/registration/regsvr32-roundtrip ${WINE_PREFIX} ${WIN_DLL} ${WIN_REGISTRY_CHECK})
set_tests_properties(regsvr32_unregister_and_register PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)

# The DLL imports system DLLs only.
add_test(NAME dll_imports_only_system_dlls
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports ${CMAKE_OBJDUMP} ${CMAKE_BINARY_DIR}/Vantorelix.dll)

# Windows would call the fault capture's exception handler in the DLL: no NO_SEH mark, no
# SafeSEH table that leaves it out (i686), unwind information that names it (x86_64).
add_test(NAME dll_exception_handler_accepted
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-exception-handler ${CMAKE_OBJDUMP}
    ${CMAKE_BINARY_DIR}/Vantorelix.dll ${CMAKE_BINARY_DIR}/Vantorelix.map)

# objdump names the machine type the toolchain builds for, for the DLL and a test program.
foreach(module Vantorelix.dll typelib_test.exe)
  add_test(NAME machine_type_${module}
    COMMAND ${CMAKE_OBJDUMP} -f ${CMAKE_BINARY_DIR}/${module})
  set_tests_properties(machine_type_${module} PROPERTIES
    PASS_REGULAR_EXPRESSION "file format ${PE_MACHINE_FORMAT}\n")
endforeach()

# C++ tests of the COM surface.
set(COM_TEST_SOURCES
  ${CMAKE_SOURCE_DIR}/tests/com/desktop_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/errmsg_sound_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/factory_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/filetimes_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/frame_errors_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/frame_fastdispatch_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/frame_owners_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/frame_seh_capture_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/frame_variants_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/identifiers_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/paths_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/registration_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/startup_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/typelib_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/com/version_test.cpp)
# A test program that is not in the list above would never build or run: the configure stops.
file(GLOB com_tests_present ${CMAKE_SOURCE_DIR}/tests/com/*_test.cpp)
foreach(present ${com_tests_present})
  if(NOT present IN_LIST COM_TEST_SOURCES)
    message(FATAL_ERROR "${present} is not in COM_TEST_SOURCES (tests/windows-tests.cmake)")
  endif()
endforeach()
foreach(src ${COM_TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/com ${CMAKE_SOURCE_DIR} ${GEN_DIR})
  target_compile_definitions(${name} PRIVATE ${VANTORELIX_DEFINES})
  target_compile_options(${name} PRIVATE ${WARNINGS})
  target_link_options(${name} PRIVATE ${VANTORELIX_STATIC_LINK})
  if(name MATCHES "^frame_")
    target_sources(${name} PRIVATE ${VANTORELIX_RC})
    target_link_libraries(${name} PRIVATE vantorelix_core gtest_main)
  else()
    target_link_libraries(${name} PRIVATE vantorelix_ids gtest_main ${VANTORELIX_SYSTEM_LIBS})
  endif()
  add_dependencies(${name} Vantorelix ${FIXTURE_TARGETS})
  # Its run in the test policy: the arguments, and alone where it writes HKEY_CLASSES_ROOT.
  if(NOT name IN_LIST POLICY_RUNS)
    message(FATAL_ERROR "tests/com/${name}.cpp has no line in tests/test-policy.txt")
  endif()
  if(POLICY_${name}_PHASE STREQUAL "unregistered")
    message(FATAL_ERROR "tests/test-policy.txt: ${name} runs while the DLL is registered here; only the "
      "programs of tests/activation run unregistered, each in a prefix of its own")
  endif()
  # Under both code pages, like the scripts: 932 (Japanese) and 1252.
  foreach(locale ja default)
    add_test(NAME com_${name}_${locale} COMMAND ${name} ${POLICY_${name}_ARGS})
    set_tests_properties(com_${name}_${locale} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=${locale}" TIMEOUT 600)
    if(POLICY_${name}_PHASE STREQUAL "machine")
      set_tests_properties(com_${name}_${locale} PROPERTIES RUN_SERIAL TRUE)
    endif()
  endforeach()
endforeach()

# Script tests through cscript.
file(GLOB SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scripts/*.vbs ${CMAKE_SOURCE_DIR}/tests/scripts/*.js)
foreach(script ${SCRIPT_TESTS})
  get_filename_component(name ${script} NAME_WE)
  get_filename_component(ext ${script} LAST_EXT)
  string(SUBSTRING ${ext} 1 -1 ext)
  windows_path(win_script ${script})
  file(STRINGS ${script} zone_line REGEX "zones:")
  set(zones "")
  if(zone_line)
    string(REGEX REPLACE ".*zones:[ ]*" "" zones "${zone_line}")
    string(REPLACE " " ";" zones "${zones}")
  endif()
  if(NOT zones)
    set(zones "-")
  endif()
  foreach(locale ja default)
    foreach(zone ${zones})
      set(test_name script_${name}_${ext}_${locale})
      set(env ${WINE_TEST_ENV} VANTORELIX_LOCALE=${locale})
      if(NOT zone STREQUAL "-")
        string(REPLACE "/" "_" zone_tag ${zone})
        set(test_name ${test_name}_${zone_tag})
        list(APPEND env TZ=${zone})
      endif()
      add_test(NAME ${test_name}
        COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-script-test ${WINE_PREFIX} ${win_script})
      set_tests_properties(${test_name} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${env}" TIMEOUT 300)
    endforeach()
  endforeach()
endforeach()

# Per-user registration and registration-free activation.
include(${CMAKE_SOURCE_DIR}/tests/activation/activation.cmake)

# Release: byte-identical builds, the installer packages under msiexec.
include(${CMAKE_SOURCE_DIR}/tests/release/release.cmake)

# Robustness programs (fuzzer, concurrency, registration, faults): short versions in ctest.
include(${CMAKE_SOURCE_DIR}/tests/stress/stress.cmake)
include(${CMAKE_SOURCE_DIR}/tests/docs/docs.cmake)

# Every program of the test policy is built here, and every case that the kit leaves out per
# user is one of its program's: a renamed case would otherwise run in every per-user kit run.
foreach(run IN LISTS POLICY_RUNS)
  set(program ${POLICY_${run}_PROGRAM})
  if(NOT TARGET ${program})
    message(FATAL_ERROR "tests/test-policy.txt names ${program}, which this build does not make")
  endif()
  foreach(case IN LISTS POLICY_${run}_LEFT_OUT)
    if(NOT case MATCHES "^([A-Za-z0-9_]+)\\.([A-Za-z0-9_]+)$")
      message(FATAL_ERROR "tests/test-policy.txt: ${run} leaves out ${case}, which is no Suite.Case")
    endif()
    add_test(NAME test_policy_${program}_has_${case} COMMAND ${program} --gtest_list_tests --gtest_filter=${case})
    set_tests_properties(test_policy_${program}_has_${case} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
      PASS_REGULAR_EXPRESSION "(^|\n)${CMAKE_MATCH_1}\\.\r?\n  ${CMAKE_MATCH_2}\r?(\n|$)")
  endforeach()
endforeach()

# Benchmarks: built with the tests, run on demand with bench/run.
include(${CMAKE_SOURCE_DIR}/bench/bench.cmake)

# The test kit for Windows machines (scripts/package-test-kit), unpacked and run by Wine's cmd
# in a fresh prefix of its own.
if(WINE_ARCH STREQUAL "win64")
  # Both halves of the kit, where the 32-bit tree beside this one is built and 32-bit programs run.
  get_filename_component(kit_win32 ${CMAKE_BINARY_DIR}/../win32 ABSOLUTE)
  add_test(NAME test_kit_under_wine COMMAND ${CMAKE_SOURCE_DIR}/tests/kit/check-under-wine ${CMAKE_BINARY_DIR} ${kit_win32})
else()
  add_test(NAME test_kit_under_wine COMMAND ${CMAKE_SOURCE_DIR}/tests/kit/check-under-wine ${CMAKE_BINARY_DIR})
endif()
set_tests_properties(test_kit_under_wine PROPERTIES TIMEOUT 600)
