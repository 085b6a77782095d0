// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The debugger output of the platform, where the agent's debug log mirrors every message: standard
// error on Linux; OutputDebugString on Windows, and standard error there too when a console or a
// file takes it.

#include <string>

// Writes the line as it is (UTF-8, with its own line end).
void debuggerOutput(const std::string& line);
