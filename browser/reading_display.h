// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// How the station shows one reading of a client: the text of the value label (rich text, red
// when out of limits) and whether a rail's row is shown at all.

#include "sensor_types.h"

#include <QString>

// "%d 'C", "%d RPM" or "%2.3f V" (millivolts shown as volts) by the sensor type, wrapped in
// <font color="Red"> when out of limits. Empty for a code that is not a sensor.
QString readingText(int sensorType, int reading, bool outOfLimits);

// A rail that a board may not wire is hidden only while it is switched off and reads nothing
// (the agent switches such rails off at its start); a switched-on rail that dies shows, red.
bool railShown(const SensorFigures& figures);
