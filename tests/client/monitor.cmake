# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

vrd_add_test(client_monitor_tests WINDOWS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_polling_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_startup_test.cpp
  LIBS vrd_client_monitor vrd_scripted_board)

vrd_add_test(client_window_layout_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp ${CMAKE_CURRENT_LIST_DIR}/window_layout_test.cpp
  LIBS vrd_client_monitor vrd_scripted_board vrd_window_layout)

if(WIN32)
  vrd_add_test(client_windows_program_tests WINDOWS
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows_program_test.cpp
    LIBS Qt5::Core
    TIMEOUT 180 LOCK wine_agent)
  add_dependencies(client_windows_program_tests VrdClient Gauge64)
else()
  vrd_add_test(client_monitor_process_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_process_test.cpp
    LIBS Qt5::Core)
  target_compile_definitions(client_monitor_process_tests PRIVATE VRD_VERSION="${PROJECT_VERSION}")
  add_dependencies(client_monitor_process_tests VrdClient Gauge64)
endif()
