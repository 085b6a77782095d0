# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

vrd_add_test(client_wmi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wmi_query_test.cpp
  LIBS vrd_wmi)

vrd_add_test(client_store_tests WINDOWS
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/store_database_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/store_debug_log_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/store_history_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/store_thread_test.cpp
  LIBS vrd_client_store)

vrd_add_test(client_inventory_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/inventory_test.cpp
  LIBS vrd_client_inventory)
