// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "debugger_output.h"

#include <cstdio>

void debuggerOutput(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
