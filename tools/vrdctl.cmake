add_executable(vrdctl vrdctl/main.cpp vrdctl/inspector.cpp vrdctl/inspector.h)
target_link_libraries(vrdctl PRIVATE vrd_link vrd_snapshot Qt5::Core Qt5::Network)
