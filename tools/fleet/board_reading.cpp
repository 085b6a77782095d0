// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "board_reading.h"

#include "gauge_readings.h"

std::optional<SensorSnapshot> readBoard(const QString& boardFile)
{
    qputenv("GAUGE64_BOARD", boardFile.toLocal8Bit());
    GaugeReadings gauge;
    if (!gauge.bind() || !gauge.start())
        return std::nullopt;
    SensorSnapshot snapshot;
    gauge.read(snapshot);
    removeAbsentRails(snapshot);
    gauge.unbind();
    return snapshot;
}
