# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The station with a fleet-sized registry, under a hostile flood and a legitimate burst.
add_executable(bench_station ${CMAKE_CURRENT_LIST_DIR}/station_scale.cpp)
target_link_libraries(bench_station PRIVATE vrd_bench_support vrd_browser vrd_test_support Qt5::Sql)
target_compile_definitions(bench_station PRIVATE VRD_BIN_DIR="${CMAKE_BINARY_DIR}/bin" VRD_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(bench_station VrdBrowser VrdClient Gauge64 vrd-fleet-sim)
