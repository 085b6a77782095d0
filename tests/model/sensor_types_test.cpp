// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The type table's one limit test and its texts, for every rule: window, ceiling, floor, never.

#include "sensor_snapshot.h"

#include <gtest/gtest.h>

namespace {

struct LimitCase {
    const char* what;
    int code;
    SensorFigures figures;
    bool expected;
};

TEST(SensorTypes, OutOfLimitsAtAboveAndBelowEachLimitSwitchedOnAndOff)
{
    const LimitCase cases[] = {
        {"window inside", SensorVcore, {1200, true, 3600, 500}, false},
        {"window at high", SensorVcore, {3600, true, 3600, 500}, false},
        {"window above high", SensorVcore, {3601, true, 3600, 500}, true},
        {"window at low", SensorP12V, {10500, true, 13500, 10500}, false},
        {"window below low", SensorP12V, {10499, true, 13500, 10500}, true},
        {"window below low, switched off", SensorP12V, {10499, false, 13500, 10500}, false},
        {"window above high, switched off", SensorN5V, {9000, false, 5400, 4600}, false},
        {"dead rail switched on", SensorP5V, {0, true, 5400, 4600}, true},
        {"negative reading below low", SensorN12V, {-12000, true, 13500, 10500}, true},
        {"ceiling at limit", SensorCpuTemp, {70, true, 70, 0}, false},
        {"ceiling above limit", SensorCpuTemp, {71, true, 70, 0}, true},
        {"ceiling ignores a low limit", SensorSysTemp, {-5, true, 70, 0}, false},
        {"ceiling above limit, switched off", SensorSysTemp, {90, false, 70, 0}, false},
        {"floor at limit", SensorCpuFan, {1000, true, 0, 1000}, false},
        {"floor below limit", SensorCpuFan, {999, true, 0, 1000}, true},
        {"floor ignores a high limit", SensorSysFan, {5000, true, 0, 1000}, false},
        {"floor below limit, switched off", SensorSysFan, {0, false, 0, 1000}, false},
        {"load is never out of limits", SensorCpuLoad, {100, true, 50, 60}, false},
        {"unknown code", 11, {100, true, 50, 60}, false},
        {"negative code", -1, {100, true, 50, 60}, false},
    };
    for (const LimitCase& c : cases)
        EXPECT_EQ(outOfLimits(c.code, c.figures), c.expected) << c.what;
}

TEST(SensorTypes, SnapshotDefaultsAreTheTablesDefaults)
{
    const SensorSnapshot snapshot;
    for (int code = SensorVcore; code <= SensorSysTemp; ++code) {
        const SensorTypeRow& row = *sensorTypeRow(code);
        const SensorFigures figures = figuresOf(snapshot, code);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(figures.enabled, row.enabledByDefault);
        EXPECT_EQ(figures.high, hasHighLimit(row.rule) ? row.defaultHigh : 0);
        EXPECT_EQ(figures.low, hasLowLimit(row.rule) ? row.defaultLow : 0);
    }
    EXPECT_EQ(snapshot.CPUTemp_Hi, 70);
    EXPECT_EQ(snapshot.FAN1_Lo, 1000);
    EXPECT_EQ(snapshot.P12V_Lo, 10500);
    EXPECT_EQ(snapshot.CBN12V, 0);
    EXPECT_EQ(figuresOf(snapshot, SensorCpuLoad).reading, 0);
}

TEST(SensorTypes, LogTextsOfEveryUnit)
{
    const struct {
        int code;
        int data;
        const char* text;
    } cases[] = {
        {SensorVcore, 1234, "Vcore = 1.234 V"},
        {SensorP5V, 5000, "+ 5V = 5.000 V"},
        {SensorN12V, -12100, "-12V = -12.100 V"},
        {SensorCpuFan, 950, "Processor Fan = 950 RPM"},
        {SensorSysTemp, -3, "System Temperature = -3 'C"},
        {SensorCpuTemp, 78, "Processor Temperature = 78 'C"},
        {SensorCpuLoad, 34, "Processor Loading = 34%"},
        {11, 5, "TypeID = 0xb, Data = 0x5"},
        {-1, -1, "TypeID = 0xffffffff, Data = 0xffffffff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sensorLogText(c.code, c.data), QString::fromLatin1(c.text)) << c.code;
}

} // namespace
