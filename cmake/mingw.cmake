# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Cross build for Windows with Debian's MinGW-w64 compilers (posix threads, as the libraries of
# scripts/windows-deps are built). Included by mingw-x86_64.cmake and mingw-i686.cmake, which set
# VRD_WIN_ARCH. With VRD_WIN_DEPS naming the prefix of scripts/windows-deps everything is built;
# without it the sensor library alone, which needs no other library.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VRD_WIN_ARCH})
set(VRD_WIN_TRIPLET ${VRD_WIN_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${VRD_WIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VRD_WIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VRD_WIN_TRIPLET}-windres)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VRD_WIN_ARCH VRD_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${VRD_WIN_TRIPLET} ${VRD_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(VRD_WIN_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} ${VRD_WIN_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  set(OPENSSL_ROOT_DIR ${VRD_WIN_DEPS})
  set(OPENSSL_USE_STATIC_LIBS TRUE)
  # Every library is static and they name one another in no fixed order: programs resolve them
  # as one group (mingw-link-group.cmake, read after CMake's own rules).
  set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-link-group.cmake)
  # The C and C++ runtimes and the threads library go into each program too.
  set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
  set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s) # the static libraries carry debugging symbols
endif()

# Test programs run under Wine where it can run them: 64-bit code only on these machines. Wine
# keeps its prefix in the build tree, says nothing of its own, and installs no .NET or HTML engine.
if(VRD_WIN_ARCH STREQUAL "x86_64")
  find_program(VRD_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(VRD_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
        "WINEDLLOVERRIDES=mscoree,mshtml=" ${VRD_WINE64})
  endif()
endif()
