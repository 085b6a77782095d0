# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The Debian package, built by scripts/package from a tree configured with the /usr prefix:
# varden_<version>_amd64.deb, its library dependencies computed by dpkg-shlibdeps from the
# binaries, the maintainer scripts and control files from packaging/debian/.
set(VRD_VERSION ${PROJECT_VERSION})
set(VRD_MAINTAINER "Varden developers <varden@example.org>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varden)
set(CPACK_PACKAGE_VERSION ${VRD_VERSION})
set(CPACK_PACKAGE_CONTACT ${VRD_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# Loaded at run time, so dpkg-shlibdeps cannot see them: Qt's SQLite driver (every database)
# and adduser (the service's user when systemd-sysusers is not there).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite, adduser")
# sensors-detect finds the driver modules of the board's monitor; the broker may run elsewhere.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "lm-sensors, mosquitto")
# CPack indents the lines after the first and turns the empty line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "hardware-health monitoring for a fleet of PCs
On every watched machine the agent (VrdClient) reads the board's hardware
monitor once a second (voltages, temperatures, fan speeds), raises an alarm
when a reading leaves its limits, logs readings and faults to SQLite and
answers queries over an MQTT broker. It runs in the desktop's notification
area or, on machines without a desktop, as the system service
varden-agent.service.

The central station (VrdBrowser) discovers the agents on the broker and shows
their readings, limits and fault history. The package also holds the sensor
library libGauge64.so and the tools gauge64-read, vrdctl and vrd-fleet-sim.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${VRD_PACKAGING_DIR}/debian/postinst ${VRD_PACKAGING_DIR}/debian/prerm
  ${VRD_PACKAGING_DIR}/debian/postrm ${VRD_PACKAGING_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian wants the changelog beside the copyright, compressed; a package made by its own
# upstream ("native": no Debian revision in its version) names it changelog.gz.
set(vrd_changelog ${VRD_PACKAGING_OUT}/changelog.gz)
add_custom_command(
  OUTPUT ${vrd_changelog}
  COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${VRD_PACKAGING_DIR}/debian/changelog ${vrd_changelog}
  DEPENDS ${VRD_PACKAGING_DIR}/debian/changelog
  VERBATIM)
add_custom_target(vrd_changelog ALL DEPENDS ${vrd_changelog})
install(FILES ${vrd_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${VRD_PACKAGING_DIR}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME varden)

include(CPack)
