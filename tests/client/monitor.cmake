# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

set(INI_TESTS ${CMAKE_CURRENT_LIST_DIR}/ini_file_test.cpp)
if(NOT WIN32)
  list(APPEND INI_TESTS ${CMAKE_CURRENT_LIST_DIR}/ini_file_posix_test.cpp)
endif()
vrd_add_test(client_ini_tests WINDOWS SOURCES ${INI_TESTS} LIBS vrd_client_ini)

vrd_add_test(client_monitor_tests WINDOWS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_polling_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_startup_test.cpp
  LIBS vrd_client_monitor)
# The binding test loads the real library from the build's bin directory.
add_dependencies(client_monitor_tests Gauge64)

vrd_add_test(client_window_layout_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp ${CMAKE_CURRENT_LIST_DIR}/window_layout_test.cpp
  LIBS vrd_client_monitor vrd_window_layout)

if(NOT WIN32)
  vrd_add_test(client_monitor_process_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_process_test.cpp
    LIBS Qt5::Core)
  add_dependencies(client_monitor_process_tests VrdClient Gauge64)
endif()
