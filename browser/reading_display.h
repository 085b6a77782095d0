#pragma once
// How the station shows one reading of a client: the limit test against the client's own
// limits and the text of the value label (rich text, red when out of limits).

#include "messages.h"

#include <QString>

// Out of limits when the sensor's switch is on and the reading is above its high limit or below
// its low limit; a reading equal to a limit is within. keys says which limits the sensor has.
bool readingOutOfLimits(const msg::SensorKeys& keys, const msg::SensorFigures& figures);

// "%d 'C", "%d RPM" or "%2.3f V" (millivolts shown as volts) by the sensor type, wrapped in
// <font color="Red"> when out of limits. Empty for a code that is not a sensor.
QString readingText(int sensorType, int reading, bool outOfLimits);

// The -5 V, -12 V, +5 V and +12 V rails read below this on boards that do not wire them.
constexpr int kRailPresentMillivolts = 100;
