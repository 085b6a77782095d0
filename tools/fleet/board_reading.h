// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The readings an agent would show for a simulated board: the agent core's own reading source on
// the sensor library (found through the one lookup, started on the board file), its ten readings
// taken once, and the rails a board does not wire switched off as the agent does at start-up.

#include "sensor_snapshot.h"

#include <QString>

#include <optional>

// Nothing when the library cannot be loaded or finds no chip on the board.
std::optional<SensorSnapshot> readBoard(const QString& boardFile);
