# Installing Halvern like any Debian program. `cpack -G DEB` in the build
# folder (or scripts/package.sh) makes halvern_<version>_<arch>.deb with:
#
#   /opt/halvern/          the program folder: halvern, KeyChain.txt,
#                          spreadsheet.xls and Firmware/, which the program
#                          finds beside its executable (symlinks resolved)
#   /usr/bin/halvern       a link to /opt/halvern/halvern (absolute, as Debian
#                          wants links between top-level folders)
#   /usr/share/...         the menu entry, the icon, the AppStream metainfo,
#                          the manual page, copyright and changelog
#
# The all-users firmware log folder lies under /usr/local, so the postinst
# makes it and the postrm takes it away while it holds no log.
# Paths are relative to CPACK_PACKAGING_INSTALL_PREFIX ("/"), so
# `cmake --install build --prefix <dir>` lays the same tree out under <dir>.

set(HALVERN_APP_ID com.quentaroworks.halvern)
set(HALVERN_PACKAGE_CONTACT "Quentaro Works <halvern@quentaroworks.example>"
    CACHE STRING "Maintainer named in the Debian package")

set(packaging_source ${CMAKE_SOURCE_DIR}/packaging)
set(packaging_build ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_build})

# The release date: that of the checked-out commit (or SOURCE_DATE_EPOCH),
# so the same sources give the same metainfo and changelog.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(release_epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE release_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_status)
  if(NOT git_status EQUAL 0 OR release_epoch STREQUAL "")
    string(TIMESTAMP release_epoch "%s" UTC)
  endif()
  # string(TIMESTAMP) reads the time from SOURCE_DATE_EPOCH when it is set.
  set(ENV{SOURCE_DATE_EPOCH} ${release_epoch})
  set(release_epoch_set_here TRUE)
endif()
string(TIMESTAMP HALVERN_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP HALVERN_RELEASE_YEAR "%Y" UTC)
string(TIMESTAMP HALVERN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(release_epoch_set_here)
  unset(ENV{SOURCE_DATE_EPOCH})
endif()
set(CPACK_PACKAGE_CONTACT "${HALVERN_PACKAGE_CONTACT}")

configure_file(${packaging_source}/${HALVERN_APP_ID}.metainfo.xml.in
               ${packaging_build}/${HALVERN_APP_ID}.metainfo.xml @ONLY)
configure_file(${packaging_source}/changelog.in ${packaging_build}/changelog @ONLY)
configure_file(${packaging_source}/copyright.in ${packaging_build}/copyright @ONLY)

# Debian keeps manual pages and changelogs compressed, without time stamps.
add_custom_command(
  OUTPUT ${packaging_build}/halvern.1.gz
  COMMAND gzip -9n -c ${packaging_source}/halvern.1 > ${packaging_build}/halvern.1.gz
  DEPENDS ${packaging_source}/halvern.1
  VERBATIM)
add_custom_command(
  OUTPUT ${packaging_build}/changelog.gz
  COMMAND gzip -9n -c ${packaging_build}/changelog > ${packaging_build}/changelog.gz
  DEPENDS ${packaging_build}/changelog
  VERBATIM)
add_custom_target(package_files ALL DEPENDS ${packaging_build}/halvern.1.gz ${packaging_build}/changelog.gz)

file(CREATE_LINK /opt/halvern/halvern ${packaging_build}/halvern SYMBOLIC)

# The program folder.
install(TARGETS halvern RUNTIME DESTINATION opt/halvern COMPONENT halvern)
install(FILES ${HALVERN_BIN_DIR}/KeyChain.txt ${HALVERN_BIN_DIR}/spreadsheet.xls
        DESTINATION opt/halvern COMPONENT halvern)
# Firmware/ ships empty: the firmware files of an update come with the
# instrument, and files put there for development stay out of the package.
install(DIRECTORY DESTINATION opt/halvern/Firmware COMPONENT halvern)

install(FILES ${packaging_build}/halvern DESTINATION usr/bin COMPONENT halvern)
install(FILES ${packaging_source}/${HALVERN_APP_ID}.desktop
        DESTINATION usr/share/applications COMPONENT halvern)
install(FILES ${packaging_source}/halvern.svg
        DESTINATION usr/share/icons/hicolor/scalable/apps COMPONENT halvern)
install(FILES ${packaging_build}/${HALVERN_APP_ID}.metainfo.xml
        DESTINATION usr/share/metainfo COMPONENT halvern)
install(FILES ${packaging_build}/halvern.1.gz DESTINATION usr/share/man/man1 COMPONENT halvern)
install(FILES ${packaging_build}/copyright ${packaging_build}/changelog.gz
        DESTINATION usr/share/doc/halvern COMPONENT halvern)
# The lab archive's schema for the database administrator (as `halvern --archive-schema` prints it).
install(FILES ${CMAKE_SOURCE_DIR}/src/archive/halvern-archive.sql DESTINATION usr/share/halvern COMPONENT halvern)
install(FILES ${packaging_source}/lintian-overrides DESTINATION usr/share/lintian/overrides
        RENAME halvern COMPONENT halvern)

# The package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME halvern)
set(CPACK_PACKAGE_VENDOR "Quentaro Works")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_COMPONENTS_ALL halvern)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "instrument serial data into a LibreOffice Calc workbook")
set(CPACK_PACKAGE_DESCRIPTION
  "Halvern receives the plain text that laboratory instruments, luminometers
among them, print on an RS-232 serial line and writes it, value by value,
into a live LibreOffice Calc workbook driven over UNO, so that a run of
measurements ends as a filled, saved workbook; at the end of a run it can
run the user's own Basic macro on the workbook.
.
The same program updates instrument firmware through the instrument's serial
loader, and emulates two instrument models (Strata and VX-Orbis) so that the
whole data path can be tried without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library link shows: the office that Halvern starts, and the UNO
# runtime its client needs (type and service registries, the bridge).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-calc | libreoffice-calc-nogui, ure")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_source}/postinst ${packaging_source}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
