vrd_add_test(gauge_chips_test
  SOURCES chips_support.cpp chips_conversions_test.cpp chips_fintek_test.cpp chips_winbond_test.cpp
  LIBS gauge_core Qt5::Core)
target_include_directories(gauge_chips_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
