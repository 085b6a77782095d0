// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "shared_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>

namespace loader {

const char* const kGaugeFileName = "libGauge64.so";

void* open(const std::string& path)
{
    return dlopen(path.c_str(), RTLD_NOW);
}

void* symbol(void* library, const char* name)
{
    return dlsym(library, name);
}

void close(void* library)
{
    dlclose(library);
}

std::string lastError()
{
    const char* error = dlerror();
    return error ? error : "";
}

std::string programDirectory()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    path[length] = '\0';
    const char* slash = std::strrchr(path, '/');
    return slash ? std::string(path, std::size_t(slash - path)) : ".";
}

} // namespace loader
