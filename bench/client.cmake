# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The client's request handling through the real broker, against the real VrdClient on a
# database of 60 days of logging (built once and kept under the build directory), and the cost
# of one polling tick on the simulated boards.
add_executable(bench_client_requests ${CMAKE_CURRENT_LIST_DIR}/client_requests.cpp)
target_link_libraries(bench_client_requests PRIVATE
  vrd_bench_support vrd_bench_history vrd_link vrd_test_support)
target_compile_definitions(bench_client_requests PRIVATE
  VRD_BENCH_CACHE="${CMAKE_BINARY_DIR}/bench-cache"
  VRD_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VRD_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_client_requests VrdClient Gauge64)

add_executable(bench_client_tick ${CMAKE_CURRENT_LIST_DIR}/client_tick.cpp)
target_link_libraries(bench_client_tick PRIVATE vrd_bench_support vrd_client_monitor)
target_compile_definitions(bench_client_tick PRIVATE VRD_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(bench_client_tick Gauge64)
