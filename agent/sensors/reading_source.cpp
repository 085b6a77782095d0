// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "reading_source.h"

namespace {

constexpr SensorType kOptionalRails[] = {SensorP5V, SensorP12V, SensorN5V, SensorN12V};

} // namespace

std::vector<SensorType> removeAbsentRails(SensorSnapshot& snapshot)
{
    std::vector<SensorType> removed;
    for (const SensorType rail : kOptionalRails) {
        const SensorFields& fields = *sensorFields(rail);
        if (snapshot.*fields.reading >= kRailPresentMillivolts)
            continue;
        snapshot.*fields.enabled = 0;
        removed.push_back(rail);
    }
    return removed;
}
