# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The Windows build's program settings (Linux has install.cmake instead). Every program is one file
# beside Gauge64.dll: Qt, SQLite, OpenSSL, libmosquitto and Qwt are linked in statically, and so are
# the C and C++ runtimes.
set_target_properties(VrdClient VrdBrowser PROPERTIES WIN32_EXECUTABLE ON)

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
