# Run by CPack after it has installed a package's files into its staging
# directory and before it packs them: signs the Windows programs there
# (scripts/sign.sh, only when a certificate is given), so the zip holds the
# same signed programs as the installer package made from it.
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*.exe")
if(programs)
  execute_process(COMMAND "${CPACK_QORVANE_SOURCE_DIR}/scripts/sign.sh" ${programs}
    RESULT_VARIABLE signed)
  if(NOT signed EQUAL 0)
    message(FATAL_ERROR "signing the programs failed")
  endif()
endif()
