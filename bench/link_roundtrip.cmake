# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Round trip of bare messages through the real broker on loopback: the floor of the request
# benchmarks.
add_executable(bench_link ${CMAKE_CURRENT_LIST_DIR}/link_roundtrip.cpp)
target_link_libraries(bench_link PRIVATE vrd_bench_support vrd_link vrd_test_support)
