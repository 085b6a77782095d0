# Installation as a Linux system expects it: programs in bin/, the sensor library in the
# multiarch library directory, desktop entries, icons, man pages, the agent's autostart entry and
# its systemd unit. scripts/package builds the Debian package from the same rules (package.cmake).
set(CMAKE_INSTALL_DOCDIR share/doc/varden CACHE PATH "Documentation directory (the package's name)")
include(GNUInstallDirs)

set(VRD_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VRD_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(VRD_SYSTEMD_UNIT_DIR ${CMAKE_INSTALL_PREFIX}/lib/systemd/system CACHE PATH "Where the agent's systemd unit goes")
set(VRD_SYSUSERS_DIR ${CMAKE_INSTALL_PREFIX}/lib/sysusers.d CACHE PATH "Where the varden user's sysusers.d entry goes")
set(VRD_AUTOSTART_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart CACHE PATH "Where the agent's autostart entry goes")

# Programs find the library relative to their own directory, and know the directory they are
# installed to (the files rule in platform/session/file_places.h).
file(RELATIVE_PATH VRD_LIBDIR_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
add_library(vrd_install_dirs INTERFACE)
target_compile_definitions(vrd_install_dirs INTERFACE
  VRD_LIBDIR_FROM_BINDIR="${VRD_LIBDIR_FROM_BINDIR}" VRD_INSTALLED_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}"
  VRD_PORT_DROP_IN="${CMAKE_INSTALL_FULL_DOCDIR}/examples/port-access.conf")
target_link_libraries(vrd_session PRIVATE vrd_install_dirs)
# The one lookup of the sensor library (agent/sensors/gauge_lookup.h), for every program.
target_link_libraries(vrd_sensor_paths PRIVATE vrd_install_dirs)
target_link_libraries(vrd-agent PRIVATE vrd_install_dirs)

install(TARGETS VrdClient vrd-agent VrdBrowser gauge64-read vrdctl vrd-fleet-sim
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS Gauge64 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Icons of the menu entries, rendered from the programs' SVGs at the sizes desktops look for.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(VRD_ICON_SIZES 16 22 24 32 48 64 128 256)
set(VRD_APP_ICONS
  varden-agent ${CMAKE_SOURCE_DIR}/tools/icons/Look.svg
  varden-station ${CMAKE_SOURCE_DIR}/browser/resources/varden_browser.svg)
set(vrd_rendered)
while(VRD_APP_ICONS)
  list(POP_FRONT VRD_APP_ICONS icon svg)
  foreach(size ${VRD_ICON_SIZES})
    set(png ${VRD_PACKAGING_OUT}/icons/${size}x${size}/apps/${icon}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VRD_PACKAGING_OUT}/icons/${size}x${size}/apps
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
      DEPENDS ${svg}
      VERBATIM)
    list(APPEND vrd_rendered ${png})
  endforeach()
  install(FILES ${svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${icon}.svg)
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
install(FILES ${VRD_PACKAGING_DIR}/varden-agent.desktop DESTINATION ${VRD_AUTOSTART_DIR})

# The agent as a system service for machines without a desktop.
configure_file(${VRD_PACKAGING_DIR}/systemd/varden-agent.service.in ${VRD_PACKAGING_OUT}/varden-agent.service @ONLY)
install(FILES ${VRD_PACKAGING_OUT}/varden-agent.service DESTINATION ${VRD_SYSTEMD_UNIT_DIR})
install(FILES ${VRD_PACKAGING_DIR}/systemd/varden.sysusers DESTINATION ${VRD_SYSUSERS_DIR} RENAME varden.conf)
install(FILES ${VRD_PACKAGING_DIR}/systemd/port-access.conf DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${VRD_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The directories above, for the test that installs into a DESTDIR and checks the layout.
file(WRITE ${VRD_PACKAGING_OUT}/install_dirs.ini "[dirs]
bin=${CMAKE_INSTALL_FULL_BINDIR}
lib=${CMAKE_INSTALL_FULL_LIBDIR}
data=${CMAKE_INSTALL_FULL_DATADIR}
man=${CMAKE_INSTALL_FULL_MANDIR}
doc=${CMAKE_INSTALL_FULL_DOCDIR}
autostart=${VRD_AUTOSTART_DIR}
units=${VRD_SYSTEMD_UNIT_DIR}
sysusers=${VRD_SYSUSERS_DIR}
")

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
