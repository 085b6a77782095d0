vrd_add_test(client_monitor_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/monitor_fixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_polling_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/monitor_startup_test.cpp
  LIBS vrd_client_monitor vrd_scripted_board)

vrd_add_test(client_monitor_process_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitor_process_test.cpp
  LIBS Qt5::Core)
target_compile_definitions(client_monitor_process_tests PRIVATE VRD_VERSION="${PROJECT_VERSION}")
add_dependencies(client_monitor_process_tests VrdClient Gauge64)
