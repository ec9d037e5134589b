# The documentation's examples, run as a reader would run them, and the licence's copyright
# line in the DLL's version resource.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The extractor itself, on a sample: the parsing and the judging of an example's output.
add_test(NAME docs_examples_extractor
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/doc_examples.py self-test)

# Every VBScript and JScript example of the README and docs/*.md through Wine's cscript, under
# the default locale (the English system texts), compared with the output the docs state.
file(GLOB DOC_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
add_test(NAME docs_examples
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/doc_examples.py run
    --wine-run ${WINE_RUN} --prefix ${WINE_PREFIX} --work ${TEST_TEMP}/docs-examples
    --other-dll ${CMAKE_BINARY_DIR}/fixtures/fixture_ok.dll
    ${CMAKE_SOURCE_DIR}/README.md ${DOC_PAGES})
set_tests_properties(docs_examples PROPERTIES FIXTURES_REQUIRED wine
  ENVIRONMENT "VANTORELIX_LOCALE=default" TIMEOUT 600)

add_test(NAME docs_copyright_line
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/copyright_line.py
    ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/Vantorelix.dll)

add_test(NAME docs_manifest_identity
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/docs/manifest_identity.py
    ${CMAKE_SOURCE_DIR}/docs/installation.md ${CMAKE_BINARY_DIR}/Vantorelix.dll)
