# Script- and data-driven tests of each area register themselves in a
# tests/<area>/<area>.cmake file; this collects them.
file(GLOB QORVANE_TEST_AREAS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*/*.cmake)
foreach(area ${QORVANE_TEST_AREAS})
  include(${area})
endforeach()
