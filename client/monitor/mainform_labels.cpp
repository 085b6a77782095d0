// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "mainform_labels.h"

QString readingLabelText(SensorUnit unit, int value)
{
    switch (unit) {
    case SensorUnit::Millivolts:
        return QString::asprintf("<B>%2.3fV</B>", value / 1000.0);
    case SensorUnit::Celsius:
        return QString::asprintf("<B>%2d 'C</B>", value);
    case SensorUnit::Rpm:
        return QString::asprintf("<B>%5d RPM</B>", value);
    case SensorUnit::Percent:
        return QString::asprintf("<B>%d%%</B>", value);
    }
    return QString();
}
