# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The Windows build's program settings (Linux has install.cmake instead). Every program is one file
# beside Gauge64.dll: Qt, SQLite, OpenSSL, libmosquitto and Qwt are linked in statically, and so are
# the C and C++ runtimes.
set_target_properties(VrdClient VrdBrowser PROPERTIES WIN32_EXECUTABLE ON)

# Version resources, and the programs' icons (drawn in icons/, rendered at the sizes Windows shows,
# packed by icoutils' icotool, the largest as PNG).
find_program(ICOTOOL icotool REQUIRED)
function(vrd_windows_resource target description)
  cmake_parse_arguments(R "" "ICON" "" ${ARGN})
  set(VRD_RC_NAME ${target})
  set(VRD_RC_DESCRIPTION ${description})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(VRD_RC_FILE ${target}.exe)
    set(VRD_RC_FILETYPE VFT_APP)
  else()
    set(VRD_RC_FILE ${target}.dll)
    set(VRD_RC_FILETYPE VFT_DLL)
  endif()
  set(VRD_RC_ICON "")
  set(folder ${CMAKE_BINARY_DIR}/windows-resources)
  if(R_ICON)
    set(pngs)
    foreach(size 16 24 32 48 256)
      vrd_render_icon(${R_ICON} ${size} ${folder}/${R_ICON}-${size}.png)
      list(APPEND pngs ${folder}/${R_ICON}-${size}.png)
    endforeach()
    list(POP_BACK pngs largest)
    set(ico ${folder}/${R_ICON}.ico)
    add_custom_command(OUTPUT ${ico} COMMAND ${ICOTOOL} -c -o ${ico} ${pngs} -r ${largest}
                       DEPENDS ${pngs} ${largest} VERBATIM)
    set(VRD_RC_ICON "1 ICON \"${ico}\"")
  endif()
  set(rc ${folder}/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(R_ICON)
    # Made here, used in the target's own folder: a target of its own carries the rule there.
    add_custom_target(${target}_icon DEPENDS ${ico})
    add_dependencies(${target} ${target}_icon)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ico})
  endif()
endfunction()
vrd_windows_resource(VrdClient "Varden agent" ICON Look)
vrd_windows_resource(VrdBrowser "Varden station" ICON varden_browser)
vrd_windows_resource(vrdctl "Varden station requests for scripts")
vrd_windows_resource(gauge64-read "Varden sensor reading tool")
vrd_windows_resource(Gauge64 "Varden sensor library")

# The installer (scripts/package-windows): Varden-<version>-win64-setup.exe, made by CPack's NSIS
# generator with the script packaging/windows/NSIS.template.in. Everything lies in one folder,
# Program Files\Varden: the programs find Gauge64.dll beside them.
install(TARGETS VrdClient VrdBrowser vrdctl gauge64-read RUNTIME DESTINATION .)
install(TARGETS Gauge64 RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Varden)
set(CPACK_PACKAGE_VENDOR "The Varden developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${VRD_WINDOWS_SETUP_NAME})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Varden)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_COMPRESSOR lzma)
# CPack looks for NSIS.template.in on the module path before its own.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging/windows)
include(CPack)
