# SPDX-FileCopyrightText: The Varden developers
#
# SPDX-License-Identifier: GPL-2.0-or-later

# vrdctl: a command table (vrdctl/commands.cpp) and one file per command.
add_executable(vrdctl
  vrdctl/agent_answer.cpp
  vrdctl/agent_answer.h
  vrdctl/check_command.cpp
  vrdctl/command.h
  vrdctl/commands.cpp
  vrdctl/events_command.cpp
  vrdctl/exit_codes.h
  vrdctl/faults_command.cpp
  vrdctl/fleet_query.cpp
  vrdctl/fleet_query.h
  vrdctl/history_command.cpp
  vrdctl/list_command.cpp
  vrdctl/main.cpp
  vrdctl/options.cpp
  vrdctl/options.h
  vrdctl/release_command.cpp
  vrdctl/sensors_command.cpp
  vrdctl/since_option.cpp
  vrdctl/since_option.h
  vrdctl/terminal_text.cpp
  vrdctl/terminal_text.h)
target_link_libraries(vrdctl PRIVATE vrd_link vrd_model vrd_tool_access vrd_records vrd_session Qt5::Core Qt5::Network Qt5::Sql)
