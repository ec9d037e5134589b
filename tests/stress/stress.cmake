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
