# vtlog's metrics read by the real Prometheus tools (native build: the tools
# are Linux programs).
if(NOT WIN32)
  add_test(NAME vtlog_metrics_prometheus
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/metrics_test.sh $<TARGET_FILE:vtlog>)
  set_tests_properties(vtlog_metrics_prometheus PROPERTIES TIMEOUT 120
    SKIP_REGULAR_EXPRESSION "skipped: ")
endif()
