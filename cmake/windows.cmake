# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The Windows build's program settings (Linux has install.cmake instead). Every program is one file
# beside Gauge64.dll: Qt, SQLite, OpenSSL, libmosquitto and Qwt are linked in statically, and so are
# the C and C++ runtimes.
set_target_properties(VrdClient VrdBrowser PROPERTIES WIN32_EXECUTABLE ON)

