// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "channel_mapping.h"

#include <cctype>
#include <string_view>

namespace gauge::hwmon {

namespace {

struct ReadingName {
    const char* label;
    Reading reading;
};

// The labels that claim a reading; lm-sensors' own configuration files use these for the
// boards they describe.
const ReadingName kReadingNames[] = {
    {"Vcore", Reading::Vcore},     {"Vio", Reading::Vio},         {"+3.3V", Reading::Vio},
    {"+5V", Reading::P5V},         {"+12V", Reading::P12V},       {"-5V", Reading::N5V},
    {"-12V", Reading::N12V},       {"Vbat", Reading::PVbat},      {"CPU Fan", Reading::Fan1},
    {"SYS Fan", Reading::Fan2},    {"CPU Temp", Reading::CpuTemp}, {"SYS Temp", Reading::SysTemp},
};

bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

ChannelKind kindOf(Reading reading)
{
    switch (reading) {
    case Reading::Fan1:
    case Reading::Fan2:
        return ChannelKind::Fan;
    case Reading::SysTemp:
    case Reading::CpuTemp:
        return ChannelKind::Temperature;
    default:
        return ChannelKind::Voltage;
    }
}

Binding byLabel(const std::vector<Device>& devices, Reading reading)
{
    for (std::size_t d = 0; d < devices.size(); ++d)
        for (std::size_t c = 0; c < devices[d].channels.size(); ++c) {
            const Channel& channel = devices[d].channels[c];
            if (channel.kind == kindOf(reading) && readingNamedBy(channel.label) == reading)
                return {int(d), int(c)};
        }
    return {};
}

bool isChannel(const Channel& channel, std::string_view wanted)
{
    return channel.name == wanted || (!channel.driverLabel.empty() && sameText(channel.driverLabel, wanted));
}

// The first alternative of the list that one of the device's free channels answers to.
int defaultChannel(const Device& device, Reading reading, std::string_view alternatives)
{
    while (!alternatives.empty()) {
        const std::size_t bar = alternatives.find('|');
        const std::string_view wanted = alternatives.substr(0, bar);
        for (std::size_t c = 0; c < device.channels.size(); ++c) {
            const Channel& channel = device.channels[c];
            if (channel.kind == kindOf(reading) && readingNamedBy(channel.label) == kReadingCount &&
                isChannel(channel, wanted))
                return int(c);
        }
        if (bar == std::string_view::npos)
            break;
        alternatives.remove_prefix(bar + 1);
    }
    return -1;
}

Binding byDefault(const std::vector<Device>& devices, Reading reading, DriverRole role)
{
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const DriverRow* driver = devices[d].driver;
        if (!driver || driver->role != role)
            continue;
        for (const DefaultChannel& entry : driver->defaults) {
            if (!entry.channels || entry.reading != reading)
                continue;
            const int channel = defaultChannel(devices[d], reading, entry.channels);
            if (channel >= 0)
                return {int(d), channel};
        }
    }
    return {};
}

} // namespace

Reading readingNamedBy(const std::string& label)
{
    for (const ReadingName& name : kReadingNames)
        if (sameText(label, name.label))
            return name.reading;
    return kReadingCount;
}

Bindings mapChannels(const std::vector<Device>& devices)
{
    Bindings bindings;
    for (std::size_t r = 0; r < kReadingCount; ++r) {
        const Reading reading = Reading(r);
        Binding found = byLabel(devices, reading);
        if (!found.bound())
            found = byDefault(devices, reading, DriverRole::Processor);
        if (!found.bound())
            found = byDefault(devices, reading, DriverRole::BoardMonitor);
        bindings[r] = found;
    }
    return bindings;
}

} // namespace gauge::hwmon
