// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_snapshot.h"

#include <iterator>

namespace {

using S = SensorSnapshot;

// Indexed by code 0 to 9.
constexpr SensorFields kFields[] = {
    {&S::Vcore, &S::CBVcore, &S::Vcore_Hi, &S::Vcore_Lo},
    {&S::Vio, &S::CBVio, &S::Vio_Hi, &S::Vio_Lo},
    {&S::Fan1, &S::CBCPUFan, nullptr, &S::FAN1_Lo},
    {&S::Fan2, &S::CBSYSFan, nullptr, &S::FAN2_Lo},
    {&S::P5V, &S::CB5V, &S::P5V_Hi, &S::P5V_Lo},
    {&S::P12V, &S::CB12V, &S::P12V_Hi, &S::P12V_Lo},
    {&S::N5V, &S::CBN5V, &S::N5V_Hi, &S::N5V_Lo},
    {&S::N12V, &S::CBN12V, &S::N12V_Hi, &S::N12V_Lo},
    {&S::CpuTemp, &S::CBCPUTemp, &S::CPUTemp_Hi, nullptr},
    {&S::SysTemp, &S::CBSYSTemp, &S::SYSTemp_Hi, nullptr},
};

} // namespace

const SensorFields* sensorFields(int code)
{
    if (code < 0 || code >= int(std::size(kFields)))
        return nullptr;
    return &kFields[code];
}

SensorFigures figuresOf(const SensorSnapshot& snapshot, int code)
{
    const SensorFields* fields = sensorFields(code);
    if (!fields)
        return {};
    SensorFigures figures;
    figures.reading = snapshot.*fields->reading;
    figures.enabled = snapshot.*fields->enabled != 0;
    if (fields->high)
        figures.high = snapshot.*fields->high;
    if (fields->low)
        figures.low = snapshot.*fields->low;
    return figures;
}
