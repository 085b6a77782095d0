# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The station watching a simulated fleet: CPU use and reply-to-handling latency at 100, 1,000
# and 2,000 agents answering the presence request every second.
add_executable(bench_browser ${CMAKE_CURRENT_LIST_DIR}/browser_fleet.cpp)
target_link_libraries(bench_browser PRIVATE vrd_bench_support vrd_browser vrd_test_support)
target_compile_definitions(bench_browser PRIVATE VRD_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_browser vrd-fleet-sim)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
target_link_libraries(bench_browser PRIVATE PkgConfig::MOSQUITTO)
