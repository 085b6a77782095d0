#include "reading_table.h"

namespace gauge {

ProbeChain probeChain()
{
    return {nullptr, 0};
}

} // namespace gauge
