// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Which hwmon channel supplies each of the thirteen readings. Pure: it sees the devices as
// libsensors described them and touches nothing, so tests hand it devices of their own.

#include "driver_map.h"
#include "reading_table.h"

#include <array>
#include <string>
#include <vector>

namespace gauge::hwmon {

enum class ChannelKind { Voltage, Fan, Temperature };

struct Channel {
    std::string name;        // the sysfs channel: "in0", "fan2", "temp1"
    std::string label;       // after the user's configuration; the channel name when unlabelled
    std::string driverLabel; // the driver's own *_label file; empty when it has none
    ChannelKind kind = ChannelKind::Voltage;
    int input = -1;          // libsensors' number of the channel's _input subfeature
};

struct Device {
    std::string name; // as libsensors prints it: "nct6775-isa-0290"
    const DriverRow* driver = nullptr;
    std::vector<Channel> channels;
};

struct Binding {
    int device = -1; // index into the devices; -1: the reading stays at 0
    int channel = -1;
    bool bound() const { return device >= 0; }
};
using Bindings = std::array<Binding, kReadingCount>;

// The reading a label names (case-insensitive), or kReadingCount when it names none.
Reading readingNamedBy(const std::string& label);

// For each reading: a channel of the matching kind whose label names it, on any of the
// devices (the source hands over only those of mapped drivers); else the first present
// default channel of a processor's own sensor, then of a board monitor. A channel that a
// label gives to one reading is no other reading's default.
Bindings mapChannels(const std::vector<Device>& devices);

} // namespace gauge::hwmon
