// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The kernel's hardware-monitoring drivers as a source of the readings, through libsensors,
// so that the user's lm-sensors configuration (/etc/sensors3.conf, /etc/sensors.d: label,
// compute, ignore) applies as it does for "sensors". No port is touched.

#include "reading_table.h"

#include <string>
#include <vector>

namespace gauge::hwmon {

enum class OpenResult {
    Found,          // at least one device of a mapped driver; its readers can be installed
    NoMappedDevice, // libsensors works but sees no device we map
    Unavailable,    // libsensors could not start (no sysfs)
    Broken,         // libsensors met a fatal error in this process; its state is unknown
};

// Starts libsensors (closing an earlier start) and maps the devices it finds. A
// configuration that libsensors refuses is left out rather than losing the devices: the
// readings that need its "compute" lines then stay at 0 instead of being wrong.
OpenResult open();

// Fills the table entries of the mapped readings; the others keep what they hold.
void install(ReadingTable& table);

// The mapped devices, in libsensors' order: "nct6775-isa-0290", "k10temp-pci-00c3".
std::vector<std::string> deviceNames();

// Ends libsensors; the installed readers then read 0. Safe when not open.
void close();

} // namespace gauge::hwmon
