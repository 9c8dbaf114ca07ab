# Stress and audit: eight launchers at a time, eight jobs each, a rotation at
# nearly every run; then the pruning run. A longer soak run is in README.md.
add_test(NAME stress_audit
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:stress_runner>
          --processes 8 --jobs 8 --size 0 --keep 3)
set_tests_properties(stress_audit PROPERTIES TIMEOUT 300)

# Five rotations within one second, pruning to two: the two newest generations
# must be the ones kept.
add_test(NAME stress_prune_within_a_second
  COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:stress_runner> --prune-ties)
set_tests_properties(stress_prune_within_a_second PROPERTIES TIMEOUT 120)
