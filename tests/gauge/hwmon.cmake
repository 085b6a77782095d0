# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The kernel hwmon source: its pure parts in process, and captured machines through the
# reading tool inside a private mount namespace.
vrd_add_test(gauge_hwmon_test SOURCES hwmon_mapping_test.cpp LIBS gauge_core Qt5::Core)

# Runs a program on a captured machine; the end-to-end tests run an agent through it too.
add_library(vrd_hwmon_fixture STATIC hwmon_namespace.cpp)
target_include_directories(vrd_hwmon_fixture PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(vrd_hwmon_fixture PRIVATE VRD_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(vrd_hwmon_fixture PUBLIC Qt5::Core)

vrd_add_test(gauge_hwmon_machines_test SOURCES hwmon_machines_test.cpp reading_tool_text_test.cpp
  LIBS vrd_hwmon_fixture)
add_dependencies(gauge_hwmon_machines_test gauge64-read Gauge64)
