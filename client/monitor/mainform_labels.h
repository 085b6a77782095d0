// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Texts of the Hardware Monitor page's value labels.

#include "sensor_snapshot.h"

#include <QString>

// "<B>1.234V</B>" from millivolts, "<B> 7 'C</B>", "<B>  950 RPM</B>".
QString readingLabelText(SensorUnit unit, int value);

struct ReadingLabelRow {
    const char* label; // object name on the Hardware Monitor page
    SensorType type;
};

inline constexpr ReadingLabelRow kReadingLabelRows[] = {
    {"labVcore", SensorVcore},     {"labVio", SensorVio},           {"labP5V", SensorP5V},
    {"labP12V", SensorP12V},       {"labN5V", SensorN5V},           {"labN12V", SensorN12V},
    {"labTempProc", SensorCpuTemp}, {"labTempSystem", SensorSysTemp}, {"labFanProc", SensorCpuFan},
    {"labFanSystem", SensorSysFan},
};
