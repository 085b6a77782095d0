// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The machine behind one simulated agent: identity, inventory, the switches, limits and first
// readings of its snapshot, readings that drift (and now and then leave their limits), processor
// load and a fault log, as a watched machine would have them. The agent itself is the agent core's
// (sim_agent.h); this is only what it reads from.

#include "messages.h"
#include "sensor_snapshot.h"

#include <QUuid>
#include <QVector>

#include <array>
#include <random>

struct SimulatedMachine {
    QUuid identity;
    msg::Inventory inventory;
    SensorSnapshot snapshot;       // as the agent starts with it
    std::array<int, 10> nominal{}; // resting value of each reading, by SensorType; 0: rail not wired
    int troubledType = -1;         // SensorType held out of its limits for good, -1 for none
    int excursionType = -1;        // SensorType out of its limits for excursionTicks more ticks
    int excursionTicks = 0;
    quint16 load = 0;
    QVector<msg::FaultRecord> faults; // oldest first
};

// Deterministic for a seed and index: the same fleet comes back on every run.
SimulatedMachine makeMachine(int index, std::mt19937_64& random, qint64 nowUtcSeconds, double troubledShare);

// One second of drift of the readings in `snapshot` (limits taken from it) and of the load:
// readings wander around their resting values, excursions start and end.
void driftMachine(SimulatedMachine& machine, SensorSnapshot& snapshot, std::mt19937_64& random);

// One logging pass: every switched-on reading of `snapshot` in error becomes a fault at nowUtcSeconds.
void logFaults(QVector<msg::FaultRecord>& faults, const SensorSnapshot& snapshot, qint64 nowUtcSeconds);

// The newest faults first, at most msg::kMaxFaultEntries; with todayOnly, only those on the
// local date of nowUtcSeconds.
QVector<msg::FaultRecord> recentFaults(const QVector<msg::FaultRecord>& faults, bool todayOnly, qint64 nowUtcSeconds);
