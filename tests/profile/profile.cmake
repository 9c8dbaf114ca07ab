# Private-profile reads: one table of settings files and answers, put to the
# Windows build (under Wine) and to the POSIX port alike.
add_test(NAME profile_differential
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:profile_probe>
          ${CMAKE_CURRENT_LIST_DIR}/cases.txt)
