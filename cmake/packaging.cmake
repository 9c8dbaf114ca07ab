# Release: the version resource of vtlog.exe, the sample settings files, the
# install rules, the packages and the WiX source of the Windows Installer
# package (scripts/package.sh builds the .msi from it with wixl).
#
#   runtime  Qorvane.exe / qorvane, vtlog, the operator's guide, samples/
#   testkit  the sample engine under a name the launcher never loads, and the
#            programs the package test drives a job and reads a version with
#
# The sample engine never ships as Qorvane.dll: a package unpacked over an
# installation would replace the suite's engine with it.

if(WIN32)
  target_sources(vtlog PRIVATE ${CMAKE_SOURCE_DIR}/resources/vtlog.rc)
  # windres reports no included files: a new version must still rebuild both.
  set_property(SOURCE resources/Qorvane.rc resources/vtlog.rc APPEND PROPERTY OBJECT_DEPENDS
    ${CMAKE_SOURCE_DIR}/resources/versioninfo.rc ${CMAKE_BINARY_DIR}/generated/version.h)
  # Reads a program's version resource as Windows hands it to Explorer.
  add_executable(file_version platform/win32/file_version_entry.cpp)
  target_link_libraries(file_version PRIVATE version)
  target_link_options(file_version PRIVATE -municode)
endif()

# The samples. logsetup_w.properties must be UTF-16LE with a byte-order mark and
# CR LF after every line, so the build writes it from a UTF-8 source whose
# comment lines it drops: the launcher's reader knows no comments. A Windows
# build runs the writer under its emulator (Wine); both take relative names.
set(QORVANE_SAMPLES_DIR ${CMAKE_BINARY_DIR}/samples)
configure_file(samples/logsetup_w.properties.txt ${QORVANE_SAMPLES_DIR}/logsetup_w.properties.txt
  COPYONLY)
configure_file(samples/VantrelV12.ini ${QORVANE_SAMPLES_DIR}/VantrelV12.ini
  NEWLINE_STYLE CRLF)
add_executable(write_properties samples/write_properties.cpp)
target_link_libraries(write_properties PRIVATE qvcore)
add_custom_command(OUTPUT ${QORVANE_SAMPLES_DIR}/logsetup_w.properties
  COMMAND write_properties logsetup_w.properties.txt logsetup_w.properties
  DEPENDS write_properties ${QORVANE_SAMPLES_DIR}/logsetup_w.properties.txt
  WORKING_DIRECTORY ${QORVANE_SAMPLES_DIR}
  COMMENT "Writing samples/logsetup_w.properties (UTF-16LE, CR LF)")
add_custom_target(samples ALL DEPENDS ${QORVANE_SAMPLES_DIR}/logsetup_w.properties)

# Layout: flat in the Windows zip (the programs go into the suite's program
# directory); bin/, doc/, samples/ under the prefix on Linux (/opt/vantrel in
# the .deb).
if(WIN32)
  set(QORVANE_BIN_DIR .)
  set(QORVANE_DOC_DIR .)
else()
  set(QORVANE_BIN_DIR bin)
  set(QORVANE_DOC_DIR doc)
endif()
install(TARGETS Qorvane vtlog RUNTIME DESTINATION ${QORVANE_BIN_DIR} COMPONENT runtime)
install(FILES docs/operators.md DESTINATION ${QORVANE_DOC_DIR} COMPONENT runtime)
install(FILES ${QORVANE_SAMPLES_DIR}/VantrelV12.ini ${QORVANE_SAMPLES_DIR}/logsetup_w.properties
  DESTINATION samples COMPONENT runtime)

install(FILES $<TARGET_FILE:QorvaneEngine> DESTINATION testkit RENAME sample_engine.dll
  COMPONENT testkit EXCLUDE_FROM_ALL)
install(TARGETS run_job RUNTIME DESTINATION testkit COMPONENT testkit EXCLUDE_FROM_ALL)
if(WIN32)
  install(TARGETS file_version RUNTIME DESTINATION testkit COMPONENT testkit EXCLUDE_FROM_ALL)
endif()

# What the packages hold, built without the unit tests (scripts/package.sh).
add_custom_target(release)
add_dependencies(release Qorvane vtlog samples QorvaneEngine run_job)
if(WIN32)
  add_dependencies(release file_version)
endif()

set(CPACK_PACKAGE_NAME Qorvane)
set(CPACK_PACKAGE_VENDOR ${QORVANE_COMPANY})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${QORVANE_PRODUCT_NAME} Orbeck launcher and vtlog")
set(CPACK_PACKAGE_CONTACT "Vantrel operators <operators@vantrel.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime testkit)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
if(WIN32)
  # The installer package: its name in Programs and Features, its publisher
  # and version are those of the version resources. The upgrade code is the
  # product's for good: every later package replaces an earlier one by it.
  # The key keeps the directory chosen at install for repair and uninstall.
  set(QORVANE_MSI_NAME "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
  set(QORVANE_PUBLISHER "${QORVANE_COMPANY}")
  set(QORVANE_MSI_UPGRADE_CODE 5D3F8A21-9C4E-4B7A-B2D6-1E8F0C3A7B95)
  # One product code per version, the same in every build of that version.
  string(UUID QORVANE_MSI_PRODUCT_CODE NAMESPACE ${QORVANE_MSI_UPGRADE_CODE}
    NAME "Qorvane ${PROJECT_VERSION}" TYPE SHA1 UPPER)
  set(QORVANE_MSI_REGISTRY_KEY "Software\\${QORVANE_COMPANY}\\Qorvane")
  configure_file(cmake/Qorvane.wxs.in ${CMAKE_BINARY_DIR}/Qorvane.wxs @ONLY)
  set(QORVANE_PACKAGE_BASE Qorvane-${PROJECT_VERSION}-win64)
  set(CPACK_GENERATOR ZIP)
else()
  set(QORVANE_PACKAGE_BASE Qorvane-${PROJECT_VERSION}-linux-x86_64)
  set(CPACK_GENERATOR TGZ DEB)
endif()
if(WIN32)
  # A stripped program loses its signature: the release links stripped
  # already, so the staged programs are signed and left alone.
  set(CPACK_STRIP_FILES OFF)
  set(CPACK_QORVANE_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack-sign.cmake)
endif()
set(CPACK_PACKAGE_FILE_NAME ${QORVANE_PACKAGE_BASE})
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME ${QORVANE_PACKAGE_BASE})
set(CPACK_ARCHIVE_TESTKIT_FILE_NAME ${QORVANE_PACKAGE_BASE}-testkit)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qorvane)
set(CPACK_DEBIAN_RUNTIME_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack-per-generator.cmake)
include(CPack)
