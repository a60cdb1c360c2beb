# Install rules and the Debian package (CPack's DEB generator), with the checks of both.
# Included from the top-level CMakeLists.txt after every program target exists.
#
#   cmake --install build --prefix /usr       install the programs and their files
#   scripts/package.sh                        build build/kestrava_<version>_<arch>.deb

include(GNUInstallDirs)

# The programs the package installs, each with its manual page packaging/man/<program>.1.
# Every install rule and packaging check takes its list from here.
set(KESTRAVA_PROGRAMS kestrava kestrava-sim kestrava-records)

set(KESTRAVA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTRAVA_PACKAGING_BUILD_DIR ${PROJECT_BINARY_DIR}/packaging)

# Folders made by the install rules are 0755 whatever the umask (lintian wants that).
set(KESTRAVA_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${KESTRAVA_DIRECTORY_PERMISSIONS})

install(TARGETS ${KESTRAVA_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages and the changelog are installed compressed as Debian wants them: gzip -9n, so
# that the archive holds no name and no time stamp.
find_program(KESTRAVA_GZIP gzip REQUIRED)
function(kestrava_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "${KESTRAVA_GZIP} -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
endfunction()

set(KESTRAVA_MAN_PAGES)
foreach(program IN LISTS KESTRAVA_PROGRAMS)
  set(page ${KESTRAVA_PACKAGING_BUILD_DIR}/man/${program}.1.gz)
  kestrava_gzip(${KESTRAVA_PACKAGING_DIR}/man/${program}.1 ${page})
  list(APPEND KESTRAVA_MAN_PAGES ${page})
endforeach()
set(KESTRAVA_CHANGELOG ${KESTRAVA_PACKAGING_BUILD_DIR}/changelog.gz)
kestrava_gzip(${KESTRAVA_PACKAGING_DIR}/changelog ${KESTRAVA_CHANGELOG})
file(MAKE_DIRECTORY ${KESTRAVA_PACKAGING_BUILD_DIR}/man)
add_custom_target(kestrava_packaging_files ALL DEPENDS ${KESTRAVA_MAN_PAGES} ${KESTRAVA_CHANGELOG})

install(FILES ${KESTRAVA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${KESTRAVA_PACKAGING_DIR}/kestrava.desktop
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${KESTRAVA_PACKAGING_DIR}/kestrava.svg
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${KESTRAVA_PACKAGING_DIR}/copyright ${KESTRAVA_CHANGELOG}
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrava)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrava)
set(CPACK_PACKAGE_VENDOR "the Kestrava developers")
set(CPACK_PACKAGE_CONTACT "Kestrava developers <developers@kestrava.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pressure-decay leak-test rig controller")
set(CPACK_PACKAGE_DESCRIPTION [=[
Kestrava runs a two-station pressure-decay leak-test rig. It polls the rig's
measuring instrument on a serial port every 100 ms, converts the raw counts
into KPa and degrees C, shows the live values, sequences each station's leak
test and main test, records one pressure sample per second, draws a live
trend, and shows and prints a report.

Every test is kept in a record database. kestrava-records lists, shows and
exports those records from the command line, also while the program runs.

The package also holds kestrava-sim, a simulated instrument for trying the
program without a rig.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${KESTRAVA_DIRECTORY_PERMISSIONS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the shared libraries the programs link, as dpkg-shlibdeps finds them, and the Qt
# SQLite driver, a plugin the record store loads at run time (no program links it).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
# The windows are laid out for Arial's metrics, which Liberation Sans shares; the status line
# is drawn in the narrow face fontconfig finds for Arial Narrow (Nimbus Sans Narrow). The Qt
# PostgreSQL driver serves the shared database of every rig, which a rig can do without: then
# the shared database says "the PostgreSQL driver libqt6sql6-psql is not installed".
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-urw-base35, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# Checks of the install rules and the package (label "packaging"). The package is built once,
# by the fixture, into its own folder, then examined; the install rules run into a scratch
# folder. Nothing is installed on the system that runs them.
set(KESTRAVA_CHECK_PACKAGE ${KESTRAVA_PACKAGING_DIR}/check-package.sh)
set(KESTRAVA_CHECK_DEB_DIR ${KESTRAVA_PACKAGING_BUILD_DIR}/check)
add_test(NAME packaging_build_deb
  COMMAND ${KESTRAVA_CHECK_PACKAGE} build ${CMAKE_CPACK_COMMAND}
    ${PROJECT_BINARY_DIR}/CPackConfig.cmake ${KESTRAVA_CHECK_DEB_DIR})
set_tests_properties(packaging_build_deb PROPERTIES FIXTURES_SETUP kestrava_deb)
add_test(NAME packaging_lintian COMMAND ${KESTRAVA_CHECK_PACKAGE} lintian ${KESTRAVA_CHECK_DEB_DIR})
add_test(NAME packaging_contents
  COMMAND ${KESTRAVA_CHECK_PACKAGE} contents ${KESTRAVA_CHECK_DEB_DIR} ${KESTRAVA_PROGRAMS})
add_test(NAME packaging_desktop_entry
  COMMAND ${KESTRAVA_CHECK_PACKAGE} desktop ${KESTRAVA_CHECK_DEB_DIR})
set_tests_properties(packaging_lintian packaging_contents packaging_desktop_entry PROPERTIES
  FIXTURES_REQUIRED kestrava_deb)

add_test(NAME packaging_installed_run
  COMMAND ${KESTRAVA_PACKAGING_DIR}/check-installed.sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR}
    ${KESTRAVA_PROGRAMS})

# A program whose page documents --help must agree with it on options and commands.
set(KESTRAVA_PACKAGING_TESTS packaging_build_deb packaging_lintian packaging_contents
  packaging_desktop_entry packaging_installed_run)
foreach(program IN LISTS KESTRAVA_PROGRAMS)
  file(READ ${KESTRAVA_PACKAGING_DIR}/man/${program}.1 page)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${KESTRAVA_PACKAGING_DIR}/man/${program}.1)
  if(page MATCHES [[\\-\\-help]])
    add_test(NAME packaging_help_${program}
      COMMAND ${KESTRAVA_PACKAGING_DIR}/check-help.sh $<TARGET_FILE:${program}>
        ${KESTRAVA_PACKAGING_DIR}/man/${program}.1)
    list(APPEND KESTRAVA_PACKAGING_TESTS packaging_help_${program})
  endif()
endforeach()
set_tests_properties(${KESTRAVA_PACKAGING_TESTS} PROPERTIES LABELS packaging TIMEOUT 120)
