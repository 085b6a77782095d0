# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Cross build for 64-bit Windows (see mingw.cmake).
set(VRD_WIN_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
