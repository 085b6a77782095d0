// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// libsensors hands out volts, RPM and degrees Celsius as doubles (after the configuration's
// "compute"); the library's readings are whole millivolts, RPM and degrees.

#include "reading_table.h"

#include <cstdint>

namespace gauge::hwmon {

// Rounded to the nearest (halves away from zero); volts become millivolts and the -5 V and
// -12 V rails their magnitudes. A value that is not finite or does not fit 32 bits is 0,
// "not available".
int32_t readingFromSensorValue(Reading reading, double value);

} // namespace gauge::hwmon
