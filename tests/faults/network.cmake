# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The network side under faults: the broker killed and restarted, a flood of hostile requests,
# the broker hung. Real agents, the real station program and the real broker.
add_library(vrd_network_faults_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/network_fleet.cpp
  ${CMAKE_SOURCE_DIR}/tests/client/client_process_fixture.cpp)
target_include_directories(vrd_network_faults_support PUBLIC
  ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/tests/client)
target_compile_definitions(vrd_network_faults_support PRIVATE
  VRD_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VRD_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
target_link_libraries(vrd_network_faults_support PUBLIC
  vrd_test_support vrd_agent GTest::gtest Qt5::Sql)

# Seconds each may take, with room for a sanitizer build on a busy machine: twenty restarts
# cost about ten seconds each (the station retries every 10 s); the hang lasts 30 s.
foreach(scenario restart:540 flood:240 hang:240)
  string(REPLACE ":" ";" parts ${scenario})
  list(GET parts 0 name)
  list(GET parts 1 seconds)
  vrd_add_test(faults_network_${name}_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/network_${name}_test.cpp
    LIBS vrd_network_faults_support
    TIMEOUT ${seconds})
  add_dependencies(faults_network_${name}_test VrdClient VrdBrowser Gauge64)
endforeach()
