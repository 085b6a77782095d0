// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The agent's record of readings, switches and limits, and how each sensor type maps onto it.
// Its defaults are those of the type table.

#include "sensor_types.h"

#include <array>
#include <cstdint>

namespace snapshot_defaults {
constexpr uint8_t enabled(SensorType code)
{
    return sensorType(code).enabledByDefault ? 1 : 0;
}
constexpr int16_t high(SensorType code)
{
    return sensorType(code).defaultHigh;
}
constexpr int16_t low(SensorType code)
{
    return sensorType(code).defaultLow;
}
} // namespace snapshot_defaults

// Plain fixed-width record: copied whole, by value, into the logging thread.
struct SensorSnapshot {
    int16_t Vcore = 0;
    int16_t Vio = 0;
    int16_t P5V = 0;
    int16_t P12V = 0;
    int16_t N5V = 0;
    int16_t N12V = 0;
    int16_t Fan1 = 0;
    int16_t Fan2 = 0;
    int16_t CpuTemp = 0;
    int16_t SysTemp = 0;

    uint8_t Debug = 0;
    uint8_t CBVcore = snapshot_defaults::enabled(SensorVcore);
    uint8_t CBVio = snapshot_defaults::enabled(SensorVio);
    uint8_t CB5V = snapshot_defaults::enabled(SensorP5V);
    uint8_t CB12V = snapshot_defaults::enabled(SensorP12V);
    uint8_t CBN5V = snapshot_defaults::enabled(SensorN5V);
    uint8_t CBN12V = snapshot_defaults::enabled(SensorN12V);
    uint8_t CBCPUFan = snapshot_defaults::enabled(SensorCpuFan);
    uint8_t CBSYSFan = snapshot_defaults::enabled(SensorSysFan);
    uint8_t CBCPUTemp = snapshot_defaults::enabled(SensorCpuTemp);
    uint8_t CBSYSTemp = snapshot_defaults::enabled(SensorSysTemp);

    int16_t Vcore_Hi = snapshot_defaults::high(SensorVcore);
    int16_t Vcore_Lo = snapshot_defaults::low(SensorVcore);
    int16_t Vio_Hi = snapshot_defaults::high(SensorVio);
    int16_t Vio_Lo = snapshot_defaults::low(SensorVio);
    int16_t P5V_Hi = snapshot_defaults::high(SensorP5V);   // key "+5V_Hi"
    int16_t P5V_Lo = snapshot_defaults::low(SensorP5V);    // key "+5V_Lo"
    int16_t P12V_Hi = snapshot_defaults::high(SensorP12V); // key "+12V_Hi"
    int16_t P12V_Lo = snapshot_defaults::low(SensorP12V);  // key "+12V_Lo"
    int16_t N5V_Hi = snapshot_defaults::high(SensorN5V);   // key "-5V_Hi"
    int16_t N5V_Lo = snapshot_defaults::low(SensorN5V);    // key "-5V_Lo"
    int16_t N12V_Hi = snapshot_defaults::high(SensorN12V); // key "-12V_Hi"
    int16_t N12V_Lo = snapshot_defaults::low(SensorN12V);  // key "-12V_Lo"
    int16_t FAN1_Lo = snapshot_defaults::low(SensorCpuFan);
    int16_t FAN2_Lo = snapshot_defaults::low(SensorSysFan);
    int16_t CPUTemp_Hi = snapshot_defaults::high(SensorCpuTemp);
    int16_t SYSTemp_Hi = snapshot_defaults::high(SensorSysTemp);
};

// Where a type's reading, switch and limits live in the snapshot.
struct SensorFields {
    int16_t SensorSnapshot::*reading; // null for the processor load
    uint8_t SensorSnapshot::*enabled; // null: always logged
    int16_t SensorSnapshot::*high;    // null when the rule has no upper limit
    int16_t SensorSnapshot::*low;     // null when the rule has no lower limit
};

// The fields of a code, or null for the processor load and codes outside 0 to 9.
const SensorFields* sensorFields(int code);

// A sensor of the snapshot as the limit test takes it; all zeros for a code without fields.
SensorFigures figuresOf(const SensorSnapshot& snapshot, int code);

// The order in which a logging pass writes the switched sensors (the load follows last).
constexpr std::array<int, 10> kSensorLoggingOrder = {8, 9, 2, 3, 0, 1, 4, 5, 6, 7};
