// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The alarm: one verdict per polling tick over the switched-on sensors, and the latch that marks
// where a fault episode begins (the tray's one balloon) and ends.

#include "sensor_snapshot.h"

// True when any switched-on sensor is outside its limits (the one error test of the type table).
bool anySwitchedSensorInError(const SensorSnapshot& snapshot);

class AlarmLatch {
public:
    // Takes one tick's verdict. True when the tick begins a fault episode: the moment for the one
    // balloon of that episode. A healthy tick ends the episode.
    bool update(bool fault);

    bool isSet() const { return m_set; }
    // Fault episodes begun since start.
    int episodes() const { return m_episodes; }

private:
    bool m_set = false;
    int m_episodes = 0;
};
