// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "hwmon_source.h"

#include "channel_mapping.h"
#include "sensors_guard.h"
#include "units.h"

#include <sensors/sensors.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace gauge::hwmon {

namespace {

struct State {
    bool started = false;
    bool broken = false; // libsensors met a fatal error; its state is unknown from here on
    std::vector<Device> devices;
    std::vector<const sensors_chip_name*> chips; // parallel to devices
    Bindings bindings;
};

State& state()
{
    static State current;
    return current;
}

void markBroken()
{
    State& s = state();
    s.broken = true;
    s.started = false;
    s.devices.clear();
    s.chips.clear();
    s.bindings = Bindings{};
}

bool startLibrary()
{
    int status = -1;
    if (!guarded([&status] { status = sensors_init(nullptr); })) {
        markBroken();
        return false;
    }
    if (status == 0)
        return true;
    // libsensors refused the user's configuration (an unreadable file, say; it printed why):
    // start without it rather than lose the devices.
    std::FILE* empty = std::fopen("/dev/null", "r");
    if (!empty)
        return false;
    const bool survived = guarded([&status, empty] { status = sensors_init(empty); });
    std::fclose(empty);
    if (!survived)
        markBroken();
    return survived && status == 0;
}

// The driver's own label of a channel, read past the configuration; empty when it has none.
std::string driverLabel(const sensors_chip_name* chip, const char* feature)
{
    if (!chip->path)
        return {};
    const std::string path = std::string(chip->path) + "/" + feature + "_label";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return {};
    char text[64] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    std::string label(text, length);
    while (!label.empty() && (label.back() == '\n' || label.back() == ' '))
        label.pop_back();
    return label;
}

struct KindRow {
    sensors_feature_type feature;
    sensors_subfeature_type input;
    ChannelKind kind;
};
const KindRow kKinds[] = {
    {SENSORS_FEATURE_IN, SENSORS_SUBFEATURE_IN_INPUT, ChannelKind::Voltage},
    {SENSORS_FEATURE_FAN, SENSORS_SUBFEATURE_FAN_INPUT, ChannelKind::Fan},
    {SENSORS_FEATURE_TEMP, SENSORS_SUBFEATURE_TEMP_INPUT, ChannelKind::Temperature},
};

const KindRow* kindRow(sensors_feature_type type)
{
    for (const KindRow& row : kKinds)
        if (row.feature == type)
            return &row;
    return nullptr;
}

// One readable input channel; false when the feature is not one, or libsensors failed.
bool describeChannel(const sensors_chip_name* chip, const sensors_feature* feature, Channel& channel)
{
    const KindRow* row = kindRow(feature->type);
    if (!row)
        return false;
    const sensors_subfeature* input = nullptr;
    char* label = nullptr;
    if (!guarded([&] {
            input = sensors_get_subfeature(chip, feature, row->input);
            label = sensors_get_label(chip, feature);
        })) {
        markBroken();
        return false;
    }
    const bool readable = input && (input->flags & SENSORS_MODE_R);
    if (readable) {
        channel.name = feature->name;
        channel.label = label ? label : feature->name;
        channel.driverLabel = driverLabel(chip, feature->name);
        channel.kind = row->kind;
        channel.input = input->number;
    }
    std::free(label);
    return readable;
}

bool describeDevice(const sensors_chip_name* chip, const DriverRow* driver, Device& device)
{
    char name[128] = {};
    if (!guarded([&] { sensors_snprintf_chip_name(name, sizeof name, chip); }))
        return false;
    device.name = name;
    device.driver = driver;
    for (int nr = 0;;) {
        const sensors_feature* feature = nullptr;
        if (!guarded([&] { feature = sensors_get_features(chip, &nr); }))
            return false;
        if (!feature)
            return true;
        Channel channel;
        if (describeChannel(chip, feature, channel))
            device.channels.push_back(std::move(channel));
        if (state().broken)
            return false;
    }
}

bool collectDevices()
{
    State& s = state();
    for (int nr = 0;;) {
        const sensors_chip_name* chip = nullptr;
        if (!guarded([&] { chip = sensors_get_detected_chips(nullptr, &nr); }))
            return false;
        if (!chip)
            return true;
        const DriverRow* driver = findDriver(chip->prefix ? chip->prefix : "");
        if (!driver)
            continue;
        Device device;
        if (!describeDevice(chip, driver, device))
            return false;
        s.devices.push_back(std::move(device));
        s.chips.push_back(chip);
    }
}

int32_t readInput(Reading reading)
{
    State& s = state();
    const Binding binding = s.bindings[reading];
    if (!s.started || !binding.bound())
        return 0;
    double value = 0;
    int status = -1;
    const sensors_chip_name* chip = s.chips[std::size_t(binding.device)];
    const int input = s.devices[std::size_t(binding.device)].channels[std::size_t(binding.channel)].input;
    if (!guarded([&] { status = sensors_get_value(chip, input, &value); })) {
        markBroken();
        return 0;
    }
    // A device that went away, or a compute expression that failed, reads as unavailable.
    return status < 0 ? 0 : readingFromSensorValue(reading, value);
}

template <std::size_t R>
int32_t readMapped()
{
    return readInput(Reading(R));
}

template <std::size_t... R>
constexpr ReadingTable mappedReaders(std::index_sequence<R...>)
{
    return {&readMapped<R>...};
}

constexpr ReadingTable kMappedReaders = mappedReaders(std::make_index_sequence<kReadingCount>());

} // namespace

OpenResult open()
{
    close();
    State& s = state();
    if (s.broken)
        return OpenResult::Broken;
    if (!startLibrary())
        return s.broken ? OpenResult::Broken : OpenResult::Unavailable;
    s.started = true;
    if (!collectDevices()) {
        markBroken();
        return OpenResult::Broken;
    }
    if (s.devices.empty()) {
        close();
        return OpenResult::NoMappedDevice;
    }
    s.bindings = mapChannels(s.devices);
    return OpenResult::Found;
}

void install(ReadingTable& table)
{
    const State& s = state();
    for (std::size_t r = 0; r < kReadingCount; ++r)
        if (s.bindings[r].bound())
            table[r] = kMappedReaders[r];
}

std::vector<std::string> deviceNames()
{
    std::vector<std::string> names;
    for (const Device& device : state().devices)
        names.push_back(device.name);
    return names;
}

void close()
{
    State& s = state();
    if (!s.started)
        return;
    if (!guarded([] { sensors_cleanup(); })) {
        markBroken();
        return;
    }
    s.started = false;
    s.devices.clear();
    s.chips.clear();
    s.bindings = Bindings{};
}

} // namespace gauge::hwmon
