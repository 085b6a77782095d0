// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The polling tick: readings into the snapshot and labels, the alarm latch and the tray icon.

#include "alarm.h"
#include "monitor_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <functional>

using namespace monitortest;

namespace {

struct LabelCase {
    Reading reading;
    int32_t value;
    const char* label;
    const char* text;
};

TEST_F(MonitorTest, LabelsShowEachTicksReadings)
{
    const LabelCase cases[] = {
        {Vcore, 1234, "labVcore", "<B>1.234V</B>"},
        {Vcore, -50, "labVcore", "<B>-0.050V</B>"},
        {Vio, 3312, "labVio", "<B>3.312V</B>"},
        {P12V, 12096, "labP12V", "<B>12.096V</B>"},
        {N5V, 5015, "labN5V", "<B>5.015V</B>"},
        {Fan1, 950, "labFanProc", "<B>  950 RPM</B>"},
        {Fan2, 70000, "labFanSystem", "<B> 4464 RPM</B>"}, // the library's result keeps its low 16 bits
        {CpuTemp, 7, "labTempProc", "<B> 7 'C</B>"},
        {SysTemp, -5, "labTempSystem", "<B>-5 'C</B>"},
        {SysTemp, 105, "labTempSystem", "<B>105 'C</B>"},
    };
    auto window = makeWindow();
    for (const LabelCase& c : cases) {
        ScriptedBoard::values[c.reading] = c.value;
        window->agent().tick();
        EXPECT_EQ(child<QLabel>(*window, c.label)->text(), QString::fromLatin1(c.text)) << c.label << " " << c.value;
    }
}

TEST_F(MonitorTest, EveryTickCallsAllTenReadings)
{
    auto window = makeWindow();
    const int afterStart = ScriptedBoard::readCalls;
    EXPECT_EQ(afterStart, 10);
    window->agent().tick();
    window->agent().tick();
    EXPECT_EQ(ScriptedBoard::readCalls, afterStart + 20);
}

// One tick of a scripted sequence: what changes before it, and what the tray shows after it.
struct AlarmTick {
    const char* what;
    std::function<void(Mainform&)> before;
    const char* icon;
    int episodes;
};

void setReading(Reading r, int32_t v)
{
    ScriptedBoard::values[r] = v;
}

TEST_F(MonitorTest, AlarmRaisesOneBalloonPerFaultEpisode)
{
    const auto clickProcTemp = [](Mainform& w) { w.findChild<QCheckBox*>("cbProcTemp")->click(); };
    const AlarmTick ticks[] = {
        {"healthy", [](Mainform&) {}, kHealthyIcon, 0},
        {"processor at its limit", [](Mainform&) { setReading(CpuTemp, 70); }, kHealthyIcon, 0},
        {"one degree above", [](Mainform&) { setReading(CpuTemp, 71); }, kFaultIcon, 1},
        {"fault stays", [](Mainform&) {}, kFaultIcon, 1},
        {"fault stays, another sensor too", [](Mainform&) { setReading(Vcore, 3700); }, kFaultIcon, 1},
        {"all healthy again", [](Mainform&) { setReading(CpuTemp, 45), setReading(Vcore, 1200); }, kHealthyIcon, 1},
        {"second episode", [](Mainform&) { setReading(CpuTemp, 90); }, kFaultIcon, 2},
        {"its sensor switched off", clickProcTemp, kHealthyIcon, 2},
        {"switched on again", clickProcTemp, kFaultIcon, 3},
        {"a fan below its floor is ignored while off", [](Mainform&) { setReading(CpuTemp, 45), setReading(Fan1, 0); },
         kHealthyIcon, 3},
        {"rail below its window", [](Mainform&) { setReading(P5V, 4599); }, kFaultIcon, 4},
        {"rail at its low limit", [](Mainform&) { setReading(P5V, 4600); }, kHealthyIcon, 4},
    };
    auto window = makeWindow();
    for (const AlarmTick& tick : ticks) {
        tick.before(*window);
        window->agent().tick();
        EXPECT_EQ(window->trayIconPath(), QString::fromLatin1(tick.icon)) << tick.what;
        EXPECT_EQ(window->agent().alarm().episodes(), tick.episodes) << tick.what;
        EXPECT_EQ(window->agent().alarm().isSet(), tick.icon == kFaultIcon) << tick.what;
    }
}

TEST_F(MonitorTest, AllSwitchesOffNeverRaisesAnAlarm)
{
    writeSettings("[General]\r\nCBCPUTemp=0\r\nCBSYSTemp=0\r\nCBVcore=0\r\nCBVio=0\r\nCB5V=0\r\nCB12V=0\r\n");
    ScriptedBoard::values = {9000, 0, 100, 100, -5000, 0, 0, 0, 120, 120};
    auto window = makeWindow();
    for (int i = 0; i < 3; ++i) {
        window->agent().tick();
        EXPECT_EQ(window->trayIconPath(), QString::fromLatin1(kHealthyIcon));
    }
    EXPECT_EQ(window->agent().alarm().episodes(), 0);
}

} // namespace
