# Read by CPack once per generator: the .deb installs under /opt/vantrel and
# carries the runtime only; the archives also make the testkit that the package
# test needs.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vantrel)
  set(CPACK_COMPONENTS_ALL runtime)
endif()
