// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "file_facts.h"

#include <sys/stat.h>

namespace portio {

int64_t modificationStamp(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return -1;
    return int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace portio
