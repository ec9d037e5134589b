# Release checks of a Windows build tree:
#  - reproducible_build: the DLL built again from a copy of the sources in another folder has
#    the same bytes;
#  - release_msi (the 64-bit tree): the installer packages, built from this tree's DLL and the
#    32-bit tree's beside it, installed, upgraded and removed by msiexec in a fresh win64 prefix;
#  - release_signing (the 64-bit tree): the signatures of release/sign on both DLLs and both
#    packages, with a certificate and a timestamp authority of the test's own, under Wine too;
#  - reproducible_dist (the 64-bit tree): dist/ made twice from these two trees' builds, in two
#    copies of the sources at other paths, times, time zones and umasks, signed the first time:
#    scripts/verify-release finds every file the same.
#  - release_winget (the 64-bit tree): the winget manifests that release/winget.py writes for
#    the two packages, held against winget's manifest rules and the packages themselves.
add_executable(installed_host ${CMAKE_SOURCE_DIR}/tests/release/installed_host.cpp)
target_include_directories(installed_host PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(installed_host PRIVATE ${VANTORELIX_DEFINES})
target_compile_options(installed_host PRIVATE ${WARNINGS})
target_link_options(installed_host PRIVATE ${VANTORELIX_STATIC_LINK})
target_link_libraries(installed_host PRIVATE ${VANTORELIX_SYSTEM_LIBS})

add_test(NAME reproducible_build
  COMMAND ${CMAKE_SOURCE_DIR}/tests/release/reproducible-build ${CMAKE_SOURCE_DIR}
    ${CMAKE_SOURCE_DIR}/cmake/mingw-${CMAKE_SYSTEM_PROCESSOR}.cmake ${CMAKE_BINARY_DIR}/Vantorelix.dll
    ${CMAKE_BINARY_DIR}/reproducible)
set_tests_properties(reproducible_build PROPERTIES TIMEOUT 1800)

if(WINE_ARCH STREQUAL "win64")
  set(VANTORELIX_WIN32_BUILD ${CMAKE_SOURCE_DIR}/build/win32 CACHE PATH
    "The 32-bit build tree whose DLL the installer tests package beside this tree's")
  add_test(NAME release_msi
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/release/msi_test.py
      --source ${CMAKE_SOURCE_DIR} --win32 ${VANTORELIX_WIN32_BUILD} --win64 ${CMAKE_BINARY_DIR}
      --version ${VANTORELIX_VERSION} --work ${CMAKE_BINARY_DIR}/msi-test)
  set_tests_properties(release_msi PROPERTIES TIMEOUT 900)
  # The packages are built into the test's own folder: release_msi's are made, installed and
  # removed within that test's run, and this one needs none of its Wine installs.
  add_test(NAME release_winget
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/release/winget_test.py
      --source ${CMAKE_SOURCE_DIR} --win32 ${VANTORELIX_WIN32_BUILD} --win64 ${CMAKE_BINARY_DIR}
      --version ${VANTORELIX_VERSION} --work ${CMAKE_BINARY_DIR}/winget-test)
  set_tests_properties(release_winget PROPERTIES TIMEOUT 600)
  add_test(NAME release_signing
    COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/release/signing_test.py
      --source ${CMAKE_SOURCE_DIR} --win32 ${VANTORELIX_WIN32_BUILD} --win64 ${CMAKE_BINARY_DIR}
      --version ${VANTORELIX_VERSION} --work ${CMAKE_BINARY_DIR}/signing-test)
  set_tests_properties(release_signing PROPERTIES TIMEOUT 900)
  add_test(NAME reproducible_dist
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/reproducible-dist ${CMAKE_SOURCE_DIR}
      ${VANTORELIX_WIN32_BUILD} ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/reproducible-dist)
  set_tests_properties(reproducible_dist PROPERTIES TIMEOUT 1200)
endif()
