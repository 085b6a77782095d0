// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The table of reading functions that the detected chip family fills, and the interface
// each family offers to the probe chain.

#include <array>
#include <cstddef>
#include <cstdint>

namespace gauge {

using ReadingFunction = int32_t (*)();

// One entry per reading export.
enum Reading : std::size_t {
    Vcore,
    Vio,
    P5V,
    P12V,
    N12V,
    N5V,
    Fan1,
    Fan2,
    SysTemp,
    CpuTemp,
    P5VAmp,
    P12VAmp,
    PVbat,
    kReadingCount
};

using ReadingTable = std::array<ReadingFunction, kReadingCount>;

// The default entry: reads no hardware.
int32_t ReadZero();

ReadingTable& readingTable();

// A chip family: its detection (true when it recognised its chip and recorded the ports
// its readers use), its install step (fills its table entries and does its one-time chip
// set-up) and the status DLLInitial reports for it.
struct ChipFamily {
    const char* name;
    bool (*detect)();
    void (*install)(ReadingTable& table);
    int32_t status;
};

// The detections in probe order. Each writes to configuration ports and monitor registers
// whether or not it succeeds, and later ones run on the state earlier ones left, so the
// order is part of the behaviour.
struct ProbeChain {
    const ChipFamily* const* steps;
    std::size_t count;
};
ProbeChain probeChain();

} // namespace gauge
