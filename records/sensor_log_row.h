// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// One logged value of the client database's SENSOR_TBL as the fault queries return it: read by
// the client's log page and sent in fault replies by every agent, real or simulated.

#include <QString>

#include <vector>

struct SensorLogRow {
    QString dateTime; // as stored, "2024-3-5 7:4:0" (sensor_time.h reads it)
    int typeId = 0;
    int data = 0;
};
using SensorLogRows = std::vector<SensorLogRow>;
