// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "debugger_output.h"

#include <cstdio>
#include <string>

#include <windows.h>

void debuggerOutput(const std::string& line)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), int(line.size()), wide.data(), length);
    OutputDebugStringW(wide.c_str());
    // A program started from a console, or with its standard error sent to a file, shows it there too.
    if (GetStdHandle(STD_ERROR_HANDLE)) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
}
