vrd_add_test(client_ini_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_file_test.cpp
  LIBS vrd_client_ini)
