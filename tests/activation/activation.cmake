# Per-user registration and registration-free activation: the runs of phase "unregistered" in
# tests/test-policy.txt, each in a prefix of its own, named by the first word of the program:
#  - wineprefix-peruser: nothing is registered per machine there, so the test sees exactly what
#    regsvr32 /n /i:user writes and removes, and the shared prefix's registration is untouched;
#  - wineprefix-regfree: nothing is ever registered there; the program activates the manifest.
foreach(run IN LISTS POLICY_RUNS)
  if(NOT POLICY_${run}_PHASE STREQUAL "unregistered")
    continue()
  endif()
  set(program ${POLICY_${run}_PROGRAM})
  add_executable(${program} ${CMAKE_SOURCE_DIR}/tests/activation/${program}.cpp)
  target_include_directories(${program} PRIVATE ${CMAKE_SOURCE_DIR} ${GEN_DIR})
  target_compile_definitions(${program} PRIVATE ${VANTORELIX_DEFINES})
  target_compile_options(${program} PRIVATE ${WARNINGS})
  target_link_options(${program} PRIVATE ${VANTORELIX_STATIC_LINK})
  target_link_libraries(${program} PRIVATE vantorelix_ids gtest_main ${VANTORELIX_SYSTEM_LIBS})
  add_dependencies(${program} Vantorelix)

  string(REGEX REPLACE "_.*" "" kind ${program})
  set(prefix ${CMAKE_BINARY_DIR}/wineprefix-${kind})
  add_test(NAME activation_${program} COMMAND ${WINE_RUN} ${prefix} $<TARGET_FILE:${program}> ${POLICY_${run}_ARGS})
  set_tests_properties(activation_${program} PROPERTIES FIXTURES_REQUIRED wine_${kind}
    ENVIRONMENT "VANTORELIX_DLL=${WIN_DLL}" TIMEOUT 300)
  if(kind STREQUAL "peruser")
    # Registration writes paths that the ANSI code page may not spell: also under code page 932.
    add_test(NAME activation_${program}_ja COMMAND ${WINE_RUN} ${prefix} $<TARGET_FILE:${program}> ${POLICY_${run}_ARGS})
    set_tests_properties(activation_${program}_ja PROPERTIES FIXTURES_REQUIRED wine_${kind}
      ENVIRONMENT "VANTORELIX_DLL=${WIN_DLL};VANTORELIX_LOCALE=ja" TIMEOUT 300)
    set_tests_properties(activation_${program} activation_${program}_ja PROPERTIES RESOURCE_LOCK wine_${kind})
  endif()
  add_test(NAME wine_stop_${kind} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-stop ${prefix})
  set_tests_properties(wine_stop_${kind} PROPERTIES FIXTURES_CLEANUP wine_${kind})
endforeach()
