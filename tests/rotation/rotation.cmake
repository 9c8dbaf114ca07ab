# A rotation into another volume killed midway: the rotation directory lies on
# /dev/shm, a tmpfs apart from the build directory (Z:\dev\shm under Wine).
if(WIN32)
  set(QORVANE_OTHER_VOLUME "Z:\\dev\\shm")
else()
  set(QORVANE_OTHER_VOLUME "/dev/shm")
endif()
add_test(NAME rotation_kill_other_volume
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:qorvane_tests>
          --gtest_filter=RotationKill.*
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(rotation_kill_other_volume PROPERTIES TIMEOUT 300
  ENVIRONMENT "QORVANE_OTHER_VOLUME=${QORVANE_OTHER_VOLUME};QORVANE_BIN=${CMAKE_BINARY_DIR}/bin"
  SKIP_REGULAR_EXPRESSION "skipped: ")
