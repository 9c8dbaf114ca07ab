# Shipping through a real collector (rsyslog, native build): every record on
# disk reaches the central file once while vtlog is stopped and restarted.
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME ship_collector
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/collector_test.sh $<TARGET_FILE_DIR:vtlog>)
  set_tests_properties(ship_collector PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
