# Private-profile reads: one table of settings files and answers, put to the
# Windows build (under Wine) and to the POSIX port alike. Wine takes the ANSI
# code page from the locale; the table's 8-bit cases are those of code page 1252.
add_test(NAME profile_differential
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:profile_probe>
          ${CMAKE_CURRENT_LIST_DIR}/cases.txt)
set_tests_properties(profile_differential PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
