# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The client database at the size 60 days of logging every sensor leave behind. The database
# is built once and kept under the build directory.
add_executable(bench_store ${CMAKE_CURRENT_LIST_DIR}/store_bench.cpp)
target_link_libraries(bench_store PRIVATE vrd_bench_support vrd_bench_history vrd_agent)
target_compile_definitions(bench_store PRIVATE VRD_BENCH_CACHE="${CMAKE_BINARY_DIR}/bench-cache")
