// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "alarm.h"

namespace {

// Vcore, Vio, +5 V, +12 V, -5 V, -12 V, processor and system temperature, processor and system fan.
constexpr int kAlarmOrder[] = {SensorVcore, SensorVio,     SensorP5V,     SensorP12V,   SensorN5V,
                               SensorN12V,  SensorCpuTemp, SensorSysTemp, SensorCpuFan, SensorSysFan};

} // namespace

bool anySwitchedSensorInError(const SensorSnapshot& snapshot)
{
    for (int code : kAlarmOrder) {
        if (outOfLimits(code, figuresOf(snapshot, code)))
            return true;
    }
    return false;
}

bool AlarmLatch::update(bool fault)
{
    const bool begins = fault && !m_set;
    m_set = fault;
    if (begins)
        ++m_episodes;
    return begins;
}
