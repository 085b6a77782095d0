# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# Storage faults: the real VrdClient with real SQLite files and settings files under a database
# locked by another process, a full disk, kills during logging, clock steps and damaged files.
add_executable(storage_db_locker ${CMAKE_CURRENT_LIST_DIR}/storage_db_locker.cpp)
target_link_libraries(storage_db_locker PRIVATE SQLite::SQLite3)

vrd_add_test(fault_storage_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/storage_agent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/storage_bad_files_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/storage_clock_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/storage_disk_full_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/storage_kill_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/storage_lock_test.cpp
  LIBS vrd_test_support vrd_agent Qt5::Sql)
add_dependencies(fault_storage_tests VrdClient Gauge64 storage_db_locker)

# Longer than vrd_add_test's 120 s where the fault itself takes time (the lock lasts 15 s, the
# kills wait for logging passes); applied after the discovered tests are known.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_CURRENT_LIST_DIR}/storage_timeouts.cmake)
