vrd_add_test(client_wmi_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wmi_query_test.cpp
  LIBS vrd_wmi)
