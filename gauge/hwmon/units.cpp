// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "units.h"

#include <cmath>

namespace gauge::hwmon {

namespace {

double scaleOf(Reading reading)
{
    switch (reading) {
    case Reading::Fan1:
    case Reading::Fan2:
    case Reading::SysTemp:
    case Reading::CpuTemp:
        return 1.0;
    default:
        return 1000.0; // volts to millivolts
    }
}

bool isNegativeRail(Reading reading)
{
    return reading == Reading::N5V || reading == Reading::N12V;
}

} // namespace

int32_t readingFromSensorValue(Reading reading, double value)
{
    double scaled = std::round(value * scaleOf(reading));
    if (isNegativeRail(reading))
        scaled = std::fabs(scaled);
    if (!std::isfinite(scaled) || scaled < double(INT32_MIN) || scaled > double(INT32_MAX))
        return 0;
    return int32_t(scaled);
}

} // namespace gauge::hwmon
