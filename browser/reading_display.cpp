// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "reading_display.h"

QString readingText(int sensorType, int reading, bool outOfLimits)
{
    const SensorTypeRow* row = sensorTypeRow(sensorType);
    if (!row || row->rule == LimitRule::Never)
        return QString();
    const QString text = valueText(row->unit, reading) + " " + unitSymbol(row->unit);
    if (!outOfLimits)
        return text;
    return "<font color=\"Red\">" + text + "</font>";
}

bool railShown(const SensorFigures& figures)
{
    return figures.enabled || figures.reading >= kRailPresentMillivolts;
}
