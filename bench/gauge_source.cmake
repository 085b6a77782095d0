# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The sensor library's DLLInitial and one tick's reads, on hwmon or a simulated board.
add_executable(bench_gauge_source ${CMAKE_CURRENT_LIST_DIR}/gauge_source.cpp)
target_link_libraries(bench_gauge_source PRIVATE vrd_bench_support ${CMAKE_DL_LIBS})
target_compile_definitions(bench_gauge_source PRIVATE VRD_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_gauge_source Gauge64)
