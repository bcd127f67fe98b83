# What makes Quenta a desktop program once installed: its menu entry, icon, AppStream metainfo, man
# pages, the udev rule for USB serial adapters and the copyright file; and the Debian package of it
# all (cpack -G DEB).
set(QUENTA_APP_ID org.quenta.Quenta)
# The day the version in project() was released, for the metainfo and the man pages.
set(QUENTA_RELEASE_DATE 2026-12-07)
set(QUENTA_HOMEPAGE "https://quenta.example" CACHE STRING "Quenta's web site (the metainfo's screenshot lives under it)")
set(QUENTA_MAINTAINER "Quenta developers <developers@quenta.example>" CACHE STRING "Maintainer of the Debian package")
# udev reads rules from /usr/lib and /usr/local/lib alike.
set(QUENTA_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rule goes, under the install prefix")

# The desktop matches the running program to its menu entry and icon by this name.
target_compile_definitions(quenta PRIVATE QUENTA_APP_ID="${QUENTA_APP_ID}")

set(dist ${CMAKE_CURRENT_LIST_DIR})
# The rule's installed path, as the man pages name it.
if(IS_ABSOLUTE "${QUENTA_UDEV_RULES_DIR}")
  set(QUENTA_UDEV_RULE "${QUENTA_UDEV_RULES_DIR}/60-quenta-ftdi-latency.rules")
else()
  set(QUENTA_UDEV_RULE "${CMAKE_INSTALL_PREFIX}/${QUENTA_UDEV_RULES_DIR}/60-quenta-ftdi-latency.rules")
endif()
set(doc ${CMAKE_SOURCE_DIR}/doc)
configure_file(${dist}/${QUENTA_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/dist/${QUENTA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${dist}/${QUENTA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/${QUENTA_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/dist/${QUENTA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${dist}/60-quenta-ftdi-latency.rules DESTINATION ${QUENTA_UDEV_RULES_DIR})
# The licence, in Debian's machine-readable copyright format, where Debian keeps a package's.
configure_file(${dist}/copyright.in ${CMAKE_BINARY_DIR}/dist/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dist/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quenta)

# Man pages with the version filled in, compressed as Debian ships them.
set(pages)
foreach(program quenta quenta-cli quenta-sim)
  configure_file(${doc}/${program}.1.in ${CMAKE_BINARY_DIR}/doc/${program}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${program}.1.gz
    COMMAND gzip -9nc ${program}.1 > ${program}.1.gz
    DEPENDS ${CMAKE_BINARY_DIR}/doc/${program}.1 ${doc}/${program}.1.in
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/doc VERBATIM)
  list(APPEND pages ${CMAKE_BINARY_DIR}/doc/${program}.1.gz)
endforeach()
add_custom_target(quenta_man ALL DEPENDS ${pages})
install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package installs where the programs look for their data (QUENTA_DATA_DIR).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenta)
set(CPACK_PACKAGE_VENDOR "Quenta developers")
set(CPACK_PACKAGE_CONTACT "${QUENTA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OBD-II engine diagnostics with Quenta's scan tool")
# The long description; CPack puts the summary above it and indents it as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quenta diagnoses the engine control units of OBD-II passenger cars through
Quenta's scan tool on a serial port or USB serial adapter: current engine
data, stored and pending trouble codes, the freeze frame, O2 sensor and
on-board monitoring tests, live charts and a data logger.

The package holds the desktop program quenta, the command-line program
quenta-cli, the simulated scan tool quenta-sim, and a udev rule that sets
the latency timer of FTDI USB serial adapters to 1 ms.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${QUENTA_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugins at run time, where dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)
include(CPack)
