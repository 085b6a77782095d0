// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The sensor types every program shares: one row per type holds its code, name, unit, limit
// rule and default limits, and one function decides whether a reading is out of its limits.
// The agent's alarm, its log, the station's labels and vrdctl all read these rows.

#include <QString>

#include <cstdint>

// Code stored as TYPE_ID and sent as "TYPE".
enum SensorType : int {
    SensorVcore = 0,
    SensorVio = 1,
    SensorCpuFan = 2,
    SensorSysFan = 3,
    SensorP5V = 4,
    SensorP12V = 5,
    SensorN5V = 6,
    SensorN12V = 7,
    SensorCpuTemp = 8,
    SensorSysTemp = 9,
    SensorCpuLoad = 10,
};

// The unit a reading travels and is stored in; volts are shown from millivolts.
enum class SensorUnit { Millivolts, Rpm, Celsius, Percent };

// Which limits a type has: both (a window), an upper one, a lower one, or none.
enum class LimitRule { Window, Ceiling, Floor, Never };

struct SensorTypeRow {
    int code;
    const char* name; // as the log texts name it
    SensorUnit unit;
    LimitRule rule;
    bool enabledByDefault;
    int16_t defaultHigh; // 0 where the rule has no upper limit
    int16_t defaultLow;  // 0 where the rule has no lower limit
};

inline constexpr SensorTypeRow kSensorTypes[] = {
    {SensorVcore, "Vcore", SensorUnit::Millivolts, LimitRule::Window, true, 3600, 500},
    {SensorVio, "Vio", SensorUnit::Millivolts, LimitRule::Window, true, 3600, 500},
    {SensorCpuFan, "Processor Fan", SensorUnit::Rpm, LimitRule::Floor, false, 0, 1000},
    {SensorSysFan, "System Fan", SensorUnit::Rpm, LimitRule::Floor, false, 0, 1000},
    {SensorP5V, "+ 5V", SensorUnit::Millivolts, LimitRule::Window, true, 5400, 4600},
    {SensorP12V, "+12V", SensorUnit::Millivolts, LimitRule::Window, true, 13500, 10500},
    {SensorN5V, "- 5V", SensorUnit::Millivolts, LimitRule::Window, false, 5400, 4600},
    {SensorN12V, "-12V", SensorUnit::Millivolts, LimitRule::Window, false, 13500, 10500},
    {SensorCpuTemp, "Processor Temperature", SensorUnit::Celsius, LimitRule::Ceiling, true, 70, 0},
    {SensorSysTemp, "System Temperature", SensorUnit::Celsius, LimitRule::Ceiling, true, 70, 0},
    {SensorCpuLoad, "Processor Loading", SensorUnit::Percent, LimitRule::Never, false, 0, 0},
};

// The row of a type, for compile-time defaults.
constexpr const SensorTypeRow& sensorType(SensorType code)
{
    return kSensorTypes[code];
}

// The row of a code, or null for a code outside 0 to 10.
const SensorTypeRow* sensorTypeRow(int code);

constexpr bool hasHighLimit(LimitRule rule)
{
    return rule == LimitRule::Window || rule == LimitRule::Ceiling;
}

constexpr bool hasLowLimit(LimitRule rule)
{
    return rule == LimitRule::Window || rule == LimitRule::Floor;
}

// One sensor as a program knows it: a limit the type does not have is ignored.
struct SensorFigures {
    int reading = 0;
    bool enabled = false;
    int high = 0;
    int low = 0;
};

// The one limit test: true when the sensor is switched on and its reading lies above its high
// limit or below its low limit (a reading equal to a limit is within). The processor load and
// unknown codes are never out of limits.
bool outOfLimits(int code, const SensorFigures& figures);

// The -5 V, -12 V, +5 V and +12 V rails read below this on boards that do not wire them.
constexpr int kRailPresentMillivolts = 100;

// "V", "RPM", "'C" or "%".
QString unitSymbol(SensorUnit unit);

// The number shown for a value: millivolts as volts with three decimals ("1.234"), else whole.
QString valueText(SensorUnit unit, int value);

// Log and fault text of one stored value ("Vcore = 1.234 V", "Processor Loading = 34%"),
// "TypeID = 0x%x, Data = 0x%x" for unknown codes.
QString sensorLogText(int code, int data);
