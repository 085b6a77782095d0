add_executable(vrdctl vrdctl/main.cpp vrdctl/fleet_query.cpp vrdctl/fleet_query.h)
target_link_libraries(vrdctl PRIVATE vrd_link vrd_snapshot Qt5::Core Qt5::Network)
