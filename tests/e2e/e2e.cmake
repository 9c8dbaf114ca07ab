# End-to-end scenarios: the same data file against the launcher of each build.
add_test(NAME e2e_scenarios
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_runner>
          ${CMAKE_CURRENT_LIST_DIR}/scenarios.txt)
set_tests_properties(e2e_scenarios PROPERTIES TIMEOUT 600)
