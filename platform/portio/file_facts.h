// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The two facts about a file that the board-file watcher needs, from the system's own calls (a
// file-system library would triple the size of the Windows DLL). Paths are narrow as the program
// got them: bytes on Linux, the ANSI code page on Windows.

#include <cstdint>
#include <string>

namespace portio {

// The modification time in nanoseconds (Windows: its 100 ns ticks), or -1 when the file cannot
// be looked at.
int64_t modificationStamp(const std::string& path);
bool isDirectory(const std::string& path);

} // namespace portio
