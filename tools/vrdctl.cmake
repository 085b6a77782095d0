# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

add_executable(vrdctl vrdctl/main.cpp vrdctl/fleet_query.cpp vrdctl/fleet_query.h vrdctl/history_command.cpp
  vrdctl/history_command.h vrdctl/terminal_text.cpp vrdctl/terminal_text.h vrdctl/events_command.cpp
  vrdctl/events_command.h)
target_link_libraries(vrdctl PRIVATE vrd_link vrd_model vrd_tool_access vrd_records vrd_session Qt5::Core Qt5::Network)
