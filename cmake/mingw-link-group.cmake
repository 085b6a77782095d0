# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Read after CMake's own rules for MinGW. Programs of the Windows build link their static libraries
# as one group, searched until nothing more resolves, whatever order the libraries' own
# dependencies put them in; a library named by pkg-config is the static one where both exist.
string(REPLACE "<LINK_LIBRARIES>" "-Wl,--start-group <LINK_LIBRARIES> -Wl,--end-group"
       CMAKE_CXX_LINK_EXECUTABLE "${CMAKE_CXX_LINK_EXECUTABLE}")
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a)
