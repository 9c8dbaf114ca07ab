# Stress audit: eight launchers at a time, eight jobs each, a rotation at
# nearly every run. The pruning run: the same with pruning to three
# generations and a tail of jobs one after the other. A longer soak run is in
# README.md.
add_test(NAME stress_audit
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:stress_runner>
          --processes 8 --jobs 8 --size 0 --run audit)
add_test(NAME stress_prune
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:stress_runner>
          --processes 8 --jobs 4 --keep 3 --run prune)
set_tests_properties(stress_audit stress_prune PROPERTIES TIMEOUT 300)
