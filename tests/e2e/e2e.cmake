# End-to-end scenarios: the same data file against the launcher of each build.
add_test(NAME e2e_scenarios
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_runner>
          ${CMAKE_CURRENT_LIST_DIR}/scenarios.txt)
set_tests_properties(e2e_scenarios PROPERTIES TIMEOUT 600)

# Message boxes exist only on Windows: a virtual display lets the runner find,
# read and close them.
if(WIN32)
  add_test(NAME e2e_message_boxes
    COMMAND xvfb-run -a ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_runner>
            ${CMAKE_CURRENT_LIST_DIR}/boxes.txt)
  set_tests_properties(e2e_message_boxes PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
endif()
