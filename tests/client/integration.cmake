# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# The client's parts together: the real VrdClient program against the real broker and real
# database files, and the window over a real database.
set(CLIENT_PROCESS_FIXTURE ${CMAKE_CURRENT_LIST_DIR}/client_process_fixture.cpp)

vrd_add_test(client_link_tests
  SOURCES
    ${CLIENT_PROCESS_FIXTURE}
    ${CMAKE_CURRENT_LIST_DIR}/client_link_connection_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_link_requests_test.cpp
  LIBS vrd_test_support vrd_agent Qt5::Sql)
add_dependencies(client_link_tests VrdClient Gauge64)

vrd_add_test(client_store_integration_tests
  SOURCES
    ${CLIENT_PROCESS_FIXTURE}
    ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_store_integration_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_window_integration_test.cpp
  LIBS vrd_client_monitor vrd_scripted_board vrd_test_support Qt5::Sql)
add_dependencies(client_store_integration_tests VrdClient Gauge64)

vrd_add_test(client_export_tests
  SOURCES ${CLIENT_PROCESS_FIXTURE} ${CMAKE_CURRENT_LIST_DIR}/client_export_test.cpp
  LIBS vrd_agent vrd_test_support Qt5::Sql)
add_dependencies(client_export_tests VrdClient Gauge64)
