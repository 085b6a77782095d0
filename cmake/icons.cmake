# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The one way icons are made: every icon is drawn as an SVG in icons/ and rendered to PNG at
# build time, at the size its user wants. rsvg-convert comes from Debian's librsvg2-bin.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

# vrd_render_icon(NAME SIZE PNG): a build rule that renders icons/NAME.svg to PNG, SIZE x SIZE
# pixels. The caller lists PNG among the sources or dependencies of what uses it.
function(vrd_render_icon name size png)
  set(svg ${CMAKE_SOURCE_DIR}/icons/${name}.svg)
  get_filename_component(folder ${png} DIRECTORY)
  add_custom_command(
    OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${svg}
    DEPENDS ${svg}
    VERBATIM)
endfunction()

# vrd_icon_resources(OUT QRC_IN NAME:SIZE...): renders each icon into the current binary folder's
# icons/, configures QRC_IN (which names them as @CMAKE_CURRENT_BINARY_DIR@/icons/NAME.png) and
# compiles it into qrc_<QRC_IN's name>.cpp, whose resources Q_INIT_RESOURCE(<that name>) loads;
# OUT gets that source's path, to list among a target's sources.
function(vrd_icon_resources out qrc_in)
  set(pngs)
  foreach(icon IN LISTS ARGN)
    string(REPLACE ":" ";" parts ${icon})
    list(GET parts 0 name)
    list(GET parts 1 size)
    set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${name}.png)
    vrd_render_icon(${name} ${size} ${png})
    list(APPEND pngs ${png})
  endforeach()
  get_filename_component(qrc_name ${qrc_in} NAME_WLE)
  get_filename_component(resource ${qrc_name} NAME_WLE)
  set(qrc ${CMAKE_CURRENT_BINARY_DIR}/${qrc_name})
  set(source ${CMAKE_CURRENT_BINARY_DIR}/qrc_${resource}.cpp)
  configure_file(${qrc_in} ${qrc} @ONLY)
  add_custom_command(
    OUTPUT ${source}
    COMMAND Qt5::rcc --name ${resource} -o ${source} ${qrc}
    DEPENDS ${qrc} ${pngs}
    VERBATIM)
  set(${out} ${source} PARENT_SCOPE)
endfunction()
