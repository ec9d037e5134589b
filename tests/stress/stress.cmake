# Robustness programs under Wine. ctest runs short versions; the long ones run by hand:
#   scripts/wine-run <build>/wineprefix <build>/stress_argfuzz.exe 100000
# (see docs/robustness-and-performance.md for each program's command and figures).
# The short runs are the runs of tests/test-policy.txt whose program is a stress_ one (its
# source tests/stress/<name>.cpp); the kit runs the same ones.
foreach(run IN LISTS POLICY_RUNS)
  set(program ${POLICY_${run}_PROGRAM})
  if(NOT program MATCHES "^stress_(.+)$")
    continue()
  endif()
  if(NOT TARGET ${program})
    add_executable(${program} ${CMAKE_SOURCE_DIR}/tests/stress/${CMAKE_MATCH_1}.cpp)
    target_include_directories(${program} PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
    target_compile_definitions(${program} PRIVATE ${VANTORELIX_DEFINES})
    target_compile_options(${program} PRIVATE ${WARNINGS})
    target_link_options(${program} PRIVATE ${VANTORELIX_STATIC_LINK})
    target_link_libraries(${program} PRIVATE vantorelix_ids ${VANTORELIX_SYSTEM_LIBS} psapi winmm)
    add_dependencies(${program} Vantorelix ${FIXTURE_TARGETS})
  endif()
  add_test(NAME ${run} COMMAND ${program} ${POLICY_${run}_ARGS})
  set_tests_properties(${run} PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=default" TIMEOUT 120)
  if(POLICY_${run}_PHASE STREQUAL "machine")
    set_tests_properties(${run} PROPERTIES RUN_SERIAL TRUE)
  endif()
endforeach()
# Registration takes the entries away for a while: nothing else may run meanwhile (its phase
# is machine). It writes paths through the ANSI code page, so it runs under the Japanese one as
# well.
if(TARGET stress_registration)
  add_test(NAME stress_registration_ja COMMAND stress_registration ${POLICY_stress_registration_ARGS})
  set_tests_properties(stress_registration_ja PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=ja" TIMEOUT 120 RUN_SERIAL TRUE)
endif()
# The fault program once more against DLLs whose capture is built at -O0 (with its assertions
# on), -O2 and -Os instead of the build's own flags: the capture must not depend on which values
# the compiler keeps in which registers across the unwind.
if(TARGET stress_faults)
  set(faults_env ${WINE_TEST_ENV})
  list(FILTER faults_env EXCLUDE REGEX "^VANTORELIX_DLL=")
  foreach(level O0 O2 Os)
    set(flags -${level})
    if(level STREQUAL "O0")
      list(APPEND flags -UNDEBUG)
    endif()
    vantorelix_capture_library(vantorelix_capture_${level} ${flags})
    vantorelix_dll(Vantorelix_capture_${level} vantorelix_capture_${level} ${CMAKE_BINARY_DIR}/capture-${level})
    add_dependencies(stress_faults Vantorelix_capture_${level})
    windows_path(capture_dll ${CMAKE_BINARY_DIR}/capture-${level}/Vantorelix.dll)
    add_test(NAME stress_faults_capture_${level} COMMAND stress_faults ${POLICY_stress_faults_ARGS})
    set_tests_properties(stress_faults_capture_${level} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "${faults_env};VANTORELIX_DLL=${capture_dll};VANTORELIX_LOCALE=default" TIMEOUT 120)
  endforeach()
  # i686: at every level, RtlUnwind is called only with EBX, ESI and EDI saved (the capture
  # built the old way, calling it directly, kept its frame in ESI across it at -Os). A file
  # check: it runs where 32-bit programs do not.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    add_test(NAME capture_unwind_call_saves_registers
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-unwind-call ${CMAKE_OBJDUMP} $<TARGET_OBJECTS:vantorelix_capture>
        $<TARGET_OBJECTS:vantorelix_capture_O0> $<TARGET_OBJECTS:vantorelix_capture_O2>
        $<TARGET_OBJECTS:vantorelix_capture_Os>)
  endif()
endif()
