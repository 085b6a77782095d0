// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "sensor_types.h"

#include <iterator>

const SensorTypeRow* sensorTypeRow(int code)
{
    if (code < 0 || code >= int(std::size(kSensorTypes)))
        return nullptr;
    return &kSensorTypes[code];
}

bool outOfLimits(int code, const SensorFigures& figures)
{
    const SensorTypeRow* row = sensorTypeRow(code);
    if (!row || !figures.enabled)
        return false;
    const bool above = hasHighLimit(row->rule) && figures.reading > figures.high;
    const bool below = hasLowLimit(row->rule) && figures.reading < figures.low;
    return above || below;
}

QString unitSymbol(SensorUnit unit)
{
    switch (unit) {
    case SensorUnit::Millivolts:
        return QStringLiteral("V");
    case SensorUnit::Rpm:
        return QStringLiteral("RPM");
    case SensorUnit::Celsius:
        return QStringLiteral("'C");
    case SensorUnit::Percent:
        return QStringLiteral("%");
    }
    return QString();
}

QString valueText(SensorUnit unit, int value)
{
    if (unit == SensorUnit::Millivolts)
        return QString::asprintf("%2.3f", value / 1000.0);
    return QString::number(value);
}

QString sensorLogText(int code, int data)
{
    const SensorTypeRow* row = sensorTypeRow(code);
    if (!row)
        return QString::asprintf("TypeID = 0x%x, Data = 0x%x", unsigned(code), unsigned(data));
    // A percentage follows its number directly; every other unit after a blank.
    const QString gap = row->unit == SensorUnit::Percent ? QString() : QStringLiteral(" ");
    return QString::fromLatin1(row->name) + " = " + valueText(row->unit, data) + gap + unitSymbol(row->unit);
}
