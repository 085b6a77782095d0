# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The chip families: each variant on simulated boards through the library's own code.
vrd_add_test(gauge_chips_test WINDOWS
  SOURCES chips_support.cpp chips_conversions_test.cpp chips_fintek_test.cpp
          chips_winbond_test.cpp chips_id_table_test.cpp chips_access_test.cpp
  LIBS gauge_core Qt5::Core)
target_include_directories(gauge_chips_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})

# Every example board through the reading tool, as a user runs it.
vrd_add_test(gauge_boards_test WINDOWS SOURCES chips_boards_test.cpp LIBS Qt5::Core)
add_dependencies(gauge_boards_test gauge64-read Gauge64)
