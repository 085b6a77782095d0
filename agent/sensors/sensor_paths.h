// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// What an agent without a usable sensor tells its operator: what was looked at (the kernel's
// hwmon devices, the port path, the library's own verdict) and what can be done about it
// (sensors-detect for a kernel driver, the drop-in that opens the port path to the service).
// Plain C++ over the file system, so that any program on the library can say the same.

#include <string>
#include <vector>

struct SensorSearch {
    std::vector<std::string> hwmonDevices; // the "name" of each device under the hwmon class
    std::string portPath;
    std::string portState; // "missing", "opens" or why it cannot be opened
};

// Looks at `hwmonClass` (/sys/class/hwmon) and `portPath` (/dev/port) as this process sees them.
// Opening the port path for reading touches no port.
SensorSearch searchSensorPaths(const std::string& hwmonClass = "/sys/class/hwmon",
                               const std::string& portPath = "/dev/port");

struct SensorAdvice {
    std::vector<std::string> tried; // one line each
    std::vector<std::string> todo;  // one line each
};

// `status`: what the library's start returned; `sourceLine`: the library's own line on the source
// it chose ("port: none"), empty when it did not say; `dropIn`: the port drop-in's path.
SensorAdvice noSensorAdvice(const SensorSearch& search, int status, const std::string& sourceLine,
                            const std::string& dropIn);
