vrd_add_test(client_requests_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/requests_history_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/requests_test.cpp
  LIBS vrd_client_requests Qt5::Core)
