# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Where an install puts the programs and their sensor library, known before the parts are
# defined so that the parts link vrd_install_dirs themselves and the layer check sees them.
# The install rules themselves are in install.cmake.
set(CMAKE_INSTALL_DOCDIR share/doc/varden CACHE PATH "Documentation directory (the package's name)")
include(GNUInstallDirs)

# The sensor library is the programs' own (loaded by path, linked by nothing), so it lies in a
# folder of its own, not among the libraries the dynamic linker offers every program.
set(VRD_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/varden)

# Programs find the library relative to their own directory, and know the directory they are
# installed to (the files rule in platform/session/file_places.h) and the examples' folder. On
# Windows every program is one file beside Gauge64.dll and is never "installed" in that sense: the
# agent keeps its files in its working directory, the station in its program's folder.
add_library(vrd_install_dirs INTERFACE)
if(WIN32)
  target_compile_definitions(vrd_install_dirs INTERFACE
    VRD_LIBDIR_FROM_BINDIR="." VRD_INSTALLED_BINDIR="" VRD_INSTALLED_DOCDIR="")
else()
  file(RELATIVE_PATH VRD_LIBDIR_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/varden)
  target_compile_definitions(vrd_install_dirs INTERFACE
    VRD_LIBDIR_FROM_BINDIR="${VRD_LIBDIR_FROM_BINDIR}" VRD_INSTALLED_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}"
    VRD_INSTALLED_DOCDIR="${CMAKE_INSTALL_FULL_DOCDIR}")
endif()
