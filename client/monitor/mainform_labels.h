#pragma once
// Texts of the Hardware Monitor page's value labels.

#include "sensor_snapshot.h"

#include <QString>

enum class ReadingUnit { Millivolts, Degrees, Rpm };

// "<B>1.234V</B>" from millivolts, "<B> 7 'C</B>", "<B>  950 RPM</B>".
QString readingLabelText(ReadingUnit unit, int value);

struct ReadingLabelRow {
    const char* label; // object name on the Hardware Monitor page
    int16_t SensorSnapshot::*reading;
    ReadingUnit unit;
};

inline constexpr ReadingLabelRow kReadingLabelRows[] = {
    {"labVcore", &SensorSnapshot::Vcore, ReadingUnit::Millivolts},
    {"labVio", &SensorSnapshot::Vio, ReadingUnit::Millivolts},
    {"labP5V", &SensorSnapshot::P5V, ReadingUnit::Millivolts},
    {"labP12V", &SensorSnapshot::P12V, ReadingUnit::Millivolts},
    {"labN5V", &SensorSnapshot::N5V, ReadingUnit::Millivolts},
    {"labN12V", &SensorSnapshot::N12V, ReadingUnit::Millivolts},
    {"labTempProc", &SensorSnapshot::CpuTemp, ReadingUnit::Degrees},
    {"labTempSystem", &SensorSnapshot::SysTemp, ReadingUnit::Degrees},
    {"labFanProc", &SensorSnapshot::Fan1, ReadingUnit::Rpm},
    {"labFanSystem", &SensorSnapshot::Fan2, ReadingUnit::Rpm},
};
