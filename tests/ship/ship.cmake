# Shipping through a real collector (rsyslog, native build): every record on
# disk reaches the central file once while vtlog is stopped and restarted.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME ship_collector
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/collector_test.sh $<TARGET_FILE_DIR:vtlog>)
  set_tests_properties(ship_collector PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()

# Output that fails for real (a full volume, a closed pipe), on both builds.
add_test(NAME ship_output_fault
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/output_fault_test.sh
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:vtlog>)
set_tests_properties(ship_output_fault PROPERTIES TIMEOUT 120)
