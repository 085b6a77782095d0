// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "chips/families.h"
#include "reading_table.h"

#include <iterator>

namespace gauge {

namespace {

// Fixed order: each detection leaves monitor banks as the next one finds them (every
// Super I/O is locked again), and A and D split the F81966 by its logical device 0x11.
const ChipFamily* const kProbeOrder[] = {
    &chips::kFintekA,
    &chips::kFintekB,
    &chips::kFintekC,
    &chips::kFintekD,
    &chips::kWinbondE,
    &chips::kWinbondF,
    &chips::kWinbondG,
    &chips::kWinbondH,
    &chips::kWinbondI,
    &chips::kChipIdJ,
    &chips::kChipIdK,
};

} // namespace

ProbeChain probeChain()
{
    return {kProbeOrder, std::size(kProbeOrder)};
}

} // namespace gauge
