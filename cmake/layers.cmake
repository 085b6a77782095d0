# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The layering rule, checked when the build is configured: a part's targets link targets and
# name include folders only of their own part or of parts ranked lower, so parts of equal rank
# (the programs and the tools) never use each other. Imported targets (Qt, SQLite,
# libmosquitto...) are outside the rule, and so are the top level's own (vrd_install_dirs, the
# install directories), which lie below every part.

# vrd_part_rank(PART OUT): PART's rank in VRD_PARTS ("name:rank" entries), or -1 when not listed.
function(vrd_part_rank part out)
  set(rank -1)
  foreach(entry IN LISTS VRD_PARTS)
    string(REPLACE ":" ";" fields ${entry})
    list(GET fields 0 name)
    if(name STREQUAL part)
      list(GET fields 1 rank)
    endif()
  endforeach()
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# vrd_part_of(TARGET OUT): the top-level folder that defines TARGET.
function(vrd_part_of target out)
  get_target_property(dir ${target} SOURCE_DIR)
  file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${dir})
  string(REGEX MATCH "^[^/]+" part "${relative}")
  set(${out} ${part} PARENT_SCOPE)
endfunction()

# vrd_targets_under(DIR OUT): every target defined in DIR and the folders below it.
function(vrd_targets_under dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    vrd_targets_under(${subdir} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# vrd_require_lower(PART RANK TARGET WHAT USED_PART): stops when TARGET of PART uses WHAT of
# USED_PART, unless that part is PART itself or ranked lower.
function(vrd_require_lower part rank target what used_part)
  vrd_part_rank("${used_part}" used_rank)
  if(NOT used_part STREQUAL part AND NOT used_rank LESS rank)
    message(FATAL_ERROR "${part}/ target ${target} uses ${what} of ${used_part}/: "
                        "a part may use only the parts below it (VRD_PARTS in CMakeLists.txt)")
  endif()
endfunction()

# vrd_check_layers(): stops the configure step at the first link or include folder that breaks
# the rule.
function(vrd_check_layers)
  foreach(entry IN LISTS VRD_PARTS)
    string(REGEX REPLACE ":.*" "" part ${entry})
    vrd_part_rank(${part} rank)
    vrd_targets_under(${CMAKE_SOURCE_DIR}/${part} targets)
    foreach(target IN LISTS targets)
      get_property(links TARGET ${target} PROPERTY LINK_LIBRARIES)
      foreach(link IN LISTS links)
        if(NOT TARGET "${link}")
          continue()
        endif()
        get_target_property(imported ${link} IMPORTED)
        if(NOT imported)
          vrd_part_of(${link} link_part)
          vrd_require_lower(${part} ${rank} ${target} ${link} "${link_part}")
        endif()
      endforeach()
      get_property(folders TARGET ${target} PROPERTY INCLUDE_DIRECTORIES)
      foreach(folder IN LISTS folders)
        if(NOT IS_ABSOLUTE "${folder}")
          continue()
        endif()
        file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} "${folder}")
        string(REGEX MATCH "^[^/.][^/]*" folder_part "${relative}")
        vrd_part_rank("${folder_part}" folder_rank)
        if(NOT folder_rank EQUAL -1)
          vrd_require_lower(${part} ${rank} ${target} ${folder} "${folder_part}")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
