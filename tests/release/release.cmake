# Release checks of a Windows build tree:
#  - reproducible_build: the DLL built again from a copy of the sources in another folder has
#    the same bytes.

add_test(NAME reproducible_build
  COMMAND ${CMAKE_SOURCE_DIR}/tests/release/reproducible-build ${CMAKE_SOURCE_DIR}
    ${CMAKE_SOURCE_DIR}/cmake/mingw-${CMAKE_SYSTEM_PROCESSOR}.cmake ${CMAKE_BINARY_DIR}/Vantorelix.dll
    ${CMAKE_BINARY_DIR}/reproducible)
set_tests_properties(reproducible_build PROPERTIES TIMEOUT 1800)
