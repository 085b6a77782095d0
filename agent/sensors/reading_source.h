// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Where an agent's ten readings come from on every tick: the sensor library on the machine's board
// (gauge_readings.h) or the simulator's model of a machine.

#include "sensor_snapshot.h"

#include <vector>

class ReadingSource {
public:
    virtual ~ReadingSource() = default;
    // Stores the ten readings into their snapshot fields, each as the low 16 bits of the source's
    // 32-bit value; switches and limits stay as they are.
    virtual void read(SensorSnapshot& snapshot) = 0;
};

// The rails a board may lack: +5 V, +12 V, -5 V and -12 V, in that order, whose reading is below
// kRailPresentMillivolts (0 and negative readings included) get their switch cleared. Vcore, Vio,
// the fans and the temperatures are never switched off this way. Returns the rails switched off.
std::vector<SensorType> removeAbsentRails(SensorSnapshot& snapshot);
