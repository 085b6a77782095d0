# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Installation as a Linux system expects it: programs in bin/, the sensor library in a folder of
# its own under the multiarch library directory, desktop entries, icons, man pages, the agent's
# autostart entry and its systemd unit. scripts/package builds the Debian package from the same
# rules (package.cmake). The directories the programs compile in are in install_dirs.cmake.
#
# Every destination inside the prefix is relative to it, so `cmake --install --prefix DIR` puts
# the whole tree under DIR. Only a place outside the prefix stays absolute: /etc for the /usr
# prefix. What the files say about places (the unit's ExecStart) is fixed when configuring.

set(VRD_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VRD_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# vrd_prefix_relative(OUT FULL_PATH): FULL_PATH relative to the prefix when it lies inside it,
# else FULL_PATH itself.
function(vrd_prefix_relative out full)
  file(RELATIVE_PATH relative ${CMAKE_INSTALL_PREFIX} ${full})
  if(relative MATCHES "^\\.\\./" OR relative STREQUAL "..")
    set(${out} ${full} PARENT_SCOPE)
  else()
    set(${out} ${relative} PARENT_SCOPE)
  endif()
endfunction()

# Strings, not paths: CMake would make a relative path given on the command line absolute.
set(VRD_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the agent's systemd unit goes (relative: to the prefix)")
set(VRD_SYSUSERS_DIR lib/sysusers.d CACHE STRING "Where the varden user's sysusers.d entry goes (relative: to the prefix)")
# Its default follows the prefix (/etc for /usr), so it is worked out at every configure and
# not kept: a tree configured again for another prefix would keep the old one.
set(VRD_AUTOSTART_DIR "" CACHE STRING "Where the agent's autostart entry goes (relative: to the prefix); empty: xdg/autostart in the prefix's configuration directory")
vrd_prefix_relative(vrd_autostart_dir ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart)
if(VRD_AUTOSTART_DIR)
  set(vrd_autostart_dir ${VRD_AUTOSTART_DIR})
endif()

install(TARGETS VrdClient vrd-agent VrdBrowser gauge64-read vrdctl vrd-fleet-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Gauge64 LIBRARY DESTINATION ${VRD_PRIVATE_LIBDIR})

# Icons of the menu entries, rendered at the sizes desktops look for.
set(VRD_ICON_SIZES 16 22 24 32 48 64 128 256)
set(VRD_APP_ICONS varden-agent Look varden-station varden_browser)
set(vrd_rendered)
while(VRD_APP_ICONS)
  list(POP_FRONT VRD_APP_ICONS icon drawing)
  foreach(size ${VRD_ICON_SIZES})
    set(png ${VRD_PACKAGING_OUT}/icons/${size}x${size}/apps/${icon}.png)
    vrd_render_icon(${drawing} ${size} ${png})
    list(APPEND vrd_rendered ${png})
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/icons/${drawing}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${icon}.svg)
endwhile()
install(DIRECTORY ${VRD_PACKAGING_OUT}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Man pages, compressed without a time stamp so that two builds give the same bytes.
set(VRD_MAN_PAGES gauge64-read vrdctl vrd-fleet-sim VrdClient vrd-agent VrdBrowser)
foreach(page ${VRD_MAN_PAGES})
  set(gz ${VRD_PACKAGING_OUT}/man/${page}.1.gz)
  add_custom_command(
    OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VRD_PACKAGING_OUT}/man
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${VRD_PACKAGING_DIR}/man/${page}.1 ${gz}
    DEPENDS ${VRD_PACKAGING_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND vrd_rendered ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(vrd_install_files ALL DEPENDS ${vrd_rendered})

install(FILES ${VRD_PACKAGING_DIR}/varden-agent.desktop ${VRD_PACKAGING_DIR}/varden-station.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VRD_PACKAGING_DIR}/varden-agent.desktop DESTINATION ${vrd_autostart_dir})

# The agent as a system service for machines without a desktop.
configure_file(${VRD_PACKAGING_DIR}/systemd/varden-agent.service.in ${VRD_PACKAGING_OUT}/varden-agent.service @ONLY)
install(FILES ${VRD_PACKAGING_OUT}/varden-agent.service DESTINATION ${VRD_SYSTEMD_UNIT_DIR})
install(FILES ${VRD_PACKAGING_DIR}/systemd/varden.sysusers DESTINATION ${VRD_SYSUSERS_DIR} RENAME varden.conf)
install(FILES ${VRD_PACKAGING_DIR}/systemd/port-access.conf DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${VRD_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The destinations above, for the tests that install into a DESTDIR or another prefix and check
# the layout: relative ones to the prefix, absolute ones as they are.
file(WRITE ${VRD_PACKAGING_OUT}/install_dirs.ini "[dirs]
prefix=${CMAKE_INSTALL_PREFIX}
bin=${CMAKE_INSTALL_BINDIR}
lib=${CMAKE_INSTALL_LIBDIR}
data=${CMAKE_INSTALL_DATADIR}
man=${CMAKE_INSTALL_MANDIR}
doc=${CMAKE_INSTALL_DOCDIR}
autostart=${vrd_autostart_dir}
units=${VRD_SYSTEMD_UNIT_DIR}
sysusers=${VRD_SYSUSERS_DIR}
")

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
