# The native build: the platform-free logic with the host compiler, its unit tests under
# AddressSanitizer and UBSan, and (with clang, VANTORELIX_FUZZ=ON) the libFuzzer targets.

option(VANTORELIX_SANITIZE "Build the native tests with AddressSanitizer and UBSan" ON)
option(VANTORELIX_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(SANITIZE_FLAGS)
if(VANTORELIX_SANITIZE)
  set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()

add_library(vantorelix_logic STATIC ${VANTORELIX_LOGIC_SOURCES})
target_include_directories(vantorelix_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(vantorelix_logic PRIVATE -Wall -Wextra -Werror ${SANITIZE_FLAGS})
target_link_options(vantorelix_logic PUBLIC ${SANITIZE_FLAGS})

find_package(GTest REQUIRED)
set(NATIVE_TEST_SOURCES
  ${CMAKE_SOURCE_DIR}/tests/native/color_logic_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/filetime_logic_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/relpath_logic_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/seh_message_logic_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/text_logic_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/native/variant_logic_test.cpp)
add_executable(native_tests ${NATIVE_TEST_SOURCES})
target_compile_options(native_tests PRIVATE -Wall -Wextra -Werror ${SANITIZE_FLAGS})
target_link_libraries(native_tests PRIVATE vantorelix_logic GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(native_tests TEST_PREFIX native. DISCOVERY_TIMEOUT 60)

if(VANTORELIX_FUZZ)
  set(FUZZ_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/fuzz/intliteral_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/tests/fuzz/message_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/tests/fuzz/relpath_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/tests/fuzz/textformat_fuzz.cpp)
  foreach(src ${FUZZ_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${VANTORELIX_LOGIC_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  endforeach()
endif()

# The release's platform-free parts: the installer rows over recorded harvests (wixl builds
# both packages from them) and the bootstrap's reading of apt's lists.
add_test(NAME release_rows_over_recorded_harvests
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/release/regrows_test.py)
add_test(NAME bootstrap_reads_missing_i386_indexes
  COMMAND ${CMAKE_SOURCE_DIR}/tests/release/bootstrap-lists-test)

include(${CMAKE_SOURCE_DIR}/tests/lint/lint.cmake)
