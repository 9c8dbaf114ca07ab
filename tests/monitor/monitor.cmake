# vtlog's metrics read by the real Prometheus tools (native build: the tools
# are Linux programs).
if(NOT WIN32)
  add_test(NAME vtlog_metrics_prometheus
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/metrics_test.sh $<TARGET_FILE:vtlog>)
  set_tests_properties(vtlog_metrics_prometheus PROPERTIES TIMEOUT 120
    SKIP_REGULAR_EXPRESSION "skipped: ")
endif()

# The rotation directory on a full volume of its own, on both builds.
if(WIN32)
  set(QORVANE_PATH_STYLE windows)
else()
  set(QORVANE_PATH_STYLE native)
endif()
add_test(NAME vtlog_full_rotation_volume
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/full_volume.sh ${QORVANE_PATH_STYLE}
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:qorvane_tests>
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(vtlog_full_rotation_volume PROPERTIES TIMEOUT 300
  ENVIRONMENT "QORVANE_BIN=${CMAKE_BINARY_DIR}/bin" SKIP_REGULAR_EXPRESSION "skipped: ")
