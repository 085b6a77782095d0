#include "chips/families.h"
#include "reading_table.h"

#include <iterator>

namespace gauge {

namespace {

// Fixed order: each detection leaves Super I/O configuration modes and monitor banks as
// the next one finds them, and A and D split the F81966 by its logical device 0x11.
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
