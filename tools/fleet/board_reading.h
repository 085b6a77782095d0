// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The readings an agent would show for a simulated board: the sensor library loaded as the
// agent loads it, started on the board file, its ten readings taken once (low 16 bits, as the
// agent keeps them), and the rails a board does not wire switched off as the agent does.

#include "sensor_snapshot.h"

#include <QString>

#include <optional>

// Nothing when the library cannot be loaded or finds no chip on the board.
std::optional<SensorSnapshot> readBoard(const QString& boardFile);
