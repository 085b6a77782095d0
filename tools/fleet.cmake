# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# vrd-fleet-sim: many simulated agents on a broker, for tests, benchmarks and screenshots.
add_executable(vrd-fleet-sim fleet/main.cpp fleet/fleet.cpp fleet/fleet.h fleet/simulated_machine.cpp
  fleet/simulated_machine.h fleet/sim_agent.cpp fleet/sim_agent.h fleet/board_reading.cpp fleet/board_reading.h
  fleet/fleet_processes.cpp fleet/fleet_processes.h)
set_target_properties(vrd-fleet-sim PROPERTIES AUTOMOC ON)
target_link_libraries(vrd-fleet-sim PRIVATE vrd_agent vrd_link vrd_records vrd_model vrd_tool_access
  Qt5::Core Qt5::Network)
add_dependencies(vrd-fleet-sim Gauge64)
