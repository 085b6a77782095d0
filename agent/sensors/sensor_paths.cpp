// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_paths.h"

#include "gauge64.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

std::string firstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string portStateOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "missing" : std::strerror(errno);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return "opens";
}

std::string statusMeaning(int status)
{
    switch (status) {
    case GAUGE64_NO_CHIP:
        return "no supported chip was found";
    case GAUGE64_NO_DRIVER:
        return "the port path could not be opened";
    default:
        return "not a start";
    }
}

std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

} // namespace

SensorSearch searchSensorPaths(const std::string& hwmonClass, const std::string& portPath)
{
    SensorSearch search;
    if (DIR* dir = ::opendir(hwmonClass.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const std::string name = firstLine(hwmonClass + "/" + entry->d_name + "/name");
            search.hwmonDevices.push_back(name.empty() ? entry->d_name : name);
        }
        ::closedir(dir);
    }
    std::sort(search.hwmonDevices.begin(), search.hwmonDevices.end());
    search.portPath = portPath;
    search.portState = portStateOf(portPath);
    return search;
}

SensorAdvice noSensorAdvice(const SensorSearch& search, int status, const std::string& sourceLine,
                            const std::string& dropIn)
{
    SensorAdvice advice;
    advice.tried.push_back("sensor library: status " + std::to_string(status) + ", " + statusMeaning(status) +
                           (sourceLine.empty() ? "" : " (" + sourceLine + ")"));
    advice.tried.push_back(search.hwmonDevices.empty()
                               ? "kernel hwmon devices: none"
                               : "kernel hwmon devices: " + joined(search.hwmonDevices) +
                                     " (none of them from a driver the library reads)");
    const bool portOpens = search.portState == "opens";
    advice.tried.push_back("port path " + search.portPath + ": " +
                           (portOpens ? "opens, but no supported Super I/O chip answered"
                                      : search.portState + " (it needs root and CAP_SYS_RAWIO)"));

    advice.todo.push_back("run sensors-detect (package lm-sensors) as root to find and load the board's hwmon "
                          "driver, then restart the agent");
    if (!portOpens)
        advice.todo.push_back("for a Super I/O chip that no kernel driver serves, open the port path to the "
                              "service: copy " + dropIn +
                              " to /etc/systemd/system/varden-agent.service.d/, then run systemctl daemon-reload "
                              "and systemctl restart varden-agent");
    return advice;
}
