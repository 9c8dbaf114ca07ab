# Read by CPack once per generator. The .deb installs under /opt/vantrel, with
# no directory of the package's name around it, and carries the runtime only;
# the archives also make the testkit that the package test needs.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/vantrel)
  set(CPACK_COMPONENTS_ALL runtime)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
