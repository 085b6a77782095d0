// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// A scripted reading source in place of the sensor library: functions already in the process
// that an agent adopts (AgentSetup::readers), returning the values a test sets and counting the
// calls made to them.

#include "gauge_binding.h"

#include <array>

// Readings the scripted source returns, by export.
enum Reading { Vcore, Vio, P5V, P12V, N5V, N12V, Fan1, Fan2, SysTemp, CpuTemp, ReadingCount };

struct ScriptedBoard {
    static inline int32_t status = 16;
    static inline std::array<int32_t, ReadingCount> values{};
    static inline int initialCalls = 0;
    static inline int releaseCalls = 0;
    static inline int readCalls = 0;

    // A healthy board with all four rails, status 16, counters cleared.
    static void reset();
    static GaugeApi api();
};

