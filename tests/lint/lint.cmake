# Lint of the files that no compiler reads, in the native tree:
#  - lint_shellcheck: shellcheck over every shell script of the source tree, found by its
#    first line (tests/lint/shellcheck_all.py); lint_shellcheck_finder_and_verdict shows on a
#    made-up tree that a finding fails it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(LINT ${CMAKE_SOURCE_DIR}/tests/lint)

add_test(NAME lint_shellcheck
  COMMAND ${Python3_EXECUTABLE} ${LINT}/shellcheck_all.py check ${CMAKE_SOURCE_DIR} --skip ${CMAKE_BINARY_DIR})
add_test(NAME lint_shellcheck_finder_and_verdict
  COMMAND ${Python3_EXECUTABLE} ${LINT}/shellcheck_all.py self-test ${CMAKE_BINARY_DIR}/lint/shellcheck-self-test)
