// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// The chip families the probe chain walks, one per variant.

#include "reading_table.h"

namespace gauge::chips {

extern const ChipFamily kFintekA; // F81866, F81966 with logical device 0x11
extern const ChipFamily kFintekB; // F81865
extern const ChipFamily kFintekC; // F71889
extern const ChipFamily kFintekD; // F81966 without logical device 0x11

extern const ChipFamily kWinbondE; // behind a Super I/O with chip ID 0xAx, monitor ID 0xC1
extern const ChipFamily kWinbondF; // fixed port 0x295, chip ID 0x10 or 0x11
extern const ChipFamily kWinbondG; // logical device 0x0B, chip-ID nibble 0x2 or 0x6
extern const ChipFamily kWinbondH; // logical device 0x0B, chip-ID nibble 0x9
extern const ChipFamily kWinbondI; // four candidate ports, monitor ID 0xA1 or 0xC1

extern const ChipFamily kChipIdJ; // chip IDs 0x1061, 0xC452, 0xC453
extern const ChipFamily kChipIdK; // chip ID 0xD282

} // namespace gauge::chips
