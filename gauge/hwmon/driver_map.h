// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The kernel hwmon drivers the library reads, one row each: the device names the driver
// registers and the channels that supply a reading when no label names one.

#include "reading_table.h"

#include <array>
#include <string_view>

namespace gauge::hwmon {

// A processor's own sensor outranks a board monitor's channel for the same reading.
enum class DriverRole { Processor, BoardMonitor };

// A reading's default channel: alternatives separated by '|', the first present wins. Each
// is a sysfs channel name ("in0", "fan2", "temp1") or the driver's own label ("SYSTIN").
struct DefaultChannel {
    Reading reading;
    const char* channels;
};

struct DriverRow {
    const char* driver; // the kernel module
    DriverRole role;
    const char* names;  // the hwmon "name" values it registers, separated by spaces
    std::array<DefaultChannel, 7> defaults; // unused entries have null channels
};

// The row whose names hold hwmonName; null for a driver we do not map (acpitz, nvme, ...).
const DriverRow* findDriver(std::string_view hwmonName);

} // namespace gauge::hwmon
