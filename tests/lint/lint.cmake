# Lint, in the native tree:
#  - lint_shellcheck: shellcheck over every shell script of the source tree, found by its
#    first line (tests/lint/shellcheck_all.py); lint_shellcheck_finder_and_verdict shows on a
#    made-up tree that a finding fails it;
#  - lint_workflows: the GitHub workflows against GitHub's workflow schema with
#    action-validator (npm, one pinned version, installed on first use into this tree's
#    tools/ folder); lint_workflows_refuses_broken_copies feeds it broken copies.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(LINT ${CMAKE_SOURCE_DIR}/tests/lint)

add_test(NAME lint_shellcheck
  COMMAND ${Python3_EXECUTABLE} ${LINT}/shellcheck_all.py check ${CMAKE_SOURCE_DIR} --skip ${CMAKE_BINARY_DIR})
add_test(NAME lint_shellcheck_finder_and_verdict
  COMMAND ${Python3_EXECUTABLE} ${LINT}/shellcheck_all.py self-test ${CMAKE_BINARY_DIR}/lint/shellcheck-self-test)

set(ACTION_VALIDATOR_DIR ${CMAKE_BINARY_DIR}/tools/action-validator)
add_test(NAME lint_install_action_validator
  COMMAND ${Python3_EXECUTABLE} ${LINT}/workflows.py install ${ACTION_VALIDATOR_DIR})
set_tests_properties(lint_install_action_validator PROPERTIES FIXTURES_SETUP action_validator TIMEOUT 300)
add_test(NAME lint_workflows
  COMMAND ${Python3_EXECUTABLE} ${LINT}/workflows.py check ${ACTION_VALIDATOR_DIR} ${CMAKE_SOURCE_DIR}/.github/workflows)
add_test(NAME lint_workflows_refuses_broken_copies
  COMMAND ${Python3_EXECUTABLE} ${LINT}/workflows.py self-test ${ACTION_VALIDATOR_DIR}
    ${CMAKE_BINARY_DIR}/lint/workflow-copies ${CMAKE_SOURCE_DIR}/.github/workflows/windows.yml)
set_tests_properties(lint_workflows lint_workflows_refuses_broken_copies PROPERTIES FIXTURES_REQUIRED action_validator)

# The product's C and C++ sources against .clang-format (clang-format --dry-run -Werror);
# format_check_refuses_a_misformatted_copy shows on a copy put out of format that it fails.
add_test(NAME format_check COMMAND ${LINT}/format_check check ${CMAKE_SOURCE_DIR})
add_test(NAME format_check_refuses_a_misformatted_copy
  COMMAND ${LINT}/format_check self-test ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/lint/format-self-test)
