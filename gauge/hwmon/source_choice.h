// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The choice between the kernel's hwmon drivers and the port path, made at each DLLInitial:
//   GAUGE64_BOARD set          the simulated board, through the port path
//   GAUGE64_SOURCE=port        the port path
//   GAUGE64_SOURCE=hwmon       hwmon only: 512 when it has no mapped device, 1024 when
//                              libsensors cannot start; the port path is never tried
//   otherwise                  hwmon when it has a device of a mapped driver, else the port
//                              path, so nothing probes a chip that a kernel driver owns;
//                              1024 once libsensors met a fatal error (it cannot tell then)
// Any other GAUGE64_SOURCE value counts as unset.

#include "reading_table.h"

#include <cstdint>
#include <optional>

namespace gauge::hwmon {

// DLLInitial's status when hwmon was chosen (its readers installed and the source line
// recorded); nothing when the port path is to run.
std::optional<int32_t> startHwmonSource(ReadingTable& table);

} // namespace gauge::hwmon
