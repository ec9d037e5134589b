# Robustness programs under Wine. ctest runs short versions; the long ones run by hand:
#   scripts/wine-run <build>/wineprefix <build>/stress_argfuzz.exe 100000
# (see docs/robustness-and-performance.md for each program's command and figures).
set(STRESS_PROGRAMS argfuzz concurrency registration faults)
set(stress_short_argfuzz 20000)
set(stress_short_concurrency 10000)  # the full run takes about a second
set(stress_short_registration 100)  # about two seconds
set(stress_short_faults 40)
foreach(name ${STRESS_PROGRAMS})
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/tests/stress/${name}.cpp)
    continue()
  endif()
  add_executable(stress_${name} ${CMAKE_SOURCE_DIR}/tests/stress/${name}.cpp)
  target_include_directories(stress_${name} PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
  target_compile_definitions(stress_${name} PRIVATE ${VANTORELIX_DEFINES})
  target_compile_options(stress_${name} PRIVATE ${WARNINGS})
  target_link_options(stress_${name} PRIVATE ${VANTORELIX_STATIC_LINK})
  target_link_libraries(stress_${name} PRIVATE vantorelix_ids ${VANTORELIX_SYSTEM_LIBS} psapi winmm)
  add_dependencies(stress_${name} Vantorelix ${FIXTURE_TARGETS})
  add_test(NAME stress_${name} COMMAND stress_${name} ${stress_short_${name}})
  set_tests_properties(stress_${name} PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=default" TIMEOUT 120)
endforeach()
# The fuzzer's differential mode: every call through the direct road of Invoke and through the
# platform's ITypeInfo::Invoke, the answers compared (100,000 calls by hand: see the docs).
if(TARGET stress_argfuzz)
  add_test(NAME stress_argfuzz_differential COMMAND stress_argfuzz 4000 20261209 differential)
  set_tests_properties(stress_argfuzz_differential PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=default" TIMEOUT 120)
endif()
# Registration takes the entries away for a while: nothing else may run meanwhile. It writes
# paths through the ANSI code page, so it runs under the Japanese one as well.
if(TARGET stress_registration)
  add_test(NAME stress_registration_ja COMMAND stress_registration ${stress_short_registration})
  set_tests_properties(stress_registration_ja PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "${WINE_TEST_ENV};VANTORELIX_LOCALE=ja" TIMEOUT 120)
  set_tests_properties(stress_registration stress_registration_ja PROPERTIES RUN_SERIAL TRUE)
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
    add_test(NAME stress_faults_capture_${level} COMMAND stress_faults ${stress_short_faults})
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
