// The exported interface: the reading table with its default entry, DLLInitial's probe
// chain and DLLRelease.

#include "gauge64.h"

#include "driver.h"
#include "os_api.h"
#include "reading_table.h"

namespace gauge {

int32_t ReadZero()
{
    return 0;
}

ReadingTable& readingTable()
{
    // Holds ReadZero from load time, so a reading before DLLInitial reads nothing.
    static ReadingTable table = [] {
        ReadingTable t;
        t.fill(&ReadZero);
        return t;
    }();
    return table;
}

namespace {

int32_t read(Reading which)
{
    return readingTable()[which]();
}

void releaseDriver()
{
    if (!driver())
        return;
    DriverClose();
    destroyDriver();
}

int32_t probe()
{
    const ProbeChain chain = probeChain();
    for (std::size_t i = 0; i < chain.count; ++i) {
        const ChipFamily& family = *chain.steps[i];
        if (family.detect()) {
            family.install(readingTable());
            return family.status;
        }
    }
    return GAUGE64_NO_CHIP;
}

} // namespace

} // namespace gauge

using namespace gauge;

extern "C" {

int32_t GAUGE64_CALL DLLInitial(void)
{
    // A second initialisation must not leak the device handle of the first.
    releaseDriver();
    readingTable().fill(&ReadZero);
    portio::selectOs();
    createDriver();
    DriverOpen();
    if (!driver()->isOpen) {
        portio::os().beep();
        return GAUGE64_NO_DRIVER;
    }
    return probe();
}

int32_t GAUGE64_CALL DLLRelease(void)
{
    releaseDriver();
    // The installed readers would address a driver that no longer exists.
    readingTable().fill(&ReadZero);
    return 1;
}

int32_t GAUGE64_CALL Vcore(void) { return read(Reading::Vcore); }
int32_t GAUGE64_CALL Vio(void) { return read(Reading::Vio); }
int32_t GAUGE64_CALL P5V(void) { return read(Reading::P5V); }
int32_t GAUGE64_CALL P12V(void) { return read(Reading::P12V); }
int32_t GAUGE64_CALL N12V(void) { return read(Reading::N12V); }
int32_t GAUGE64_CALL N5V(void) { return read(Reading::N5V); }
int32_t GAUGE64_CALL Fan1(void) { return read(Reading::Fan1); }
int32_t GAUGE64_CALL Fan2(void) { return read(Reading::Fan2); }
int32_t GAUGE64_CALL SysTemp(void) { return read(Reading::SysTemp); }
int32_t GAUGE64_CALL CpuTemp(void) { return read(Reading::CpuTemp); }
int32_t GAUGE64_CALL P5VAmp(void) { return read(Reading::P5VAmp); }
int32_t GAUGE64_CALL P12VAmp(void) { return read(Reading::P12VAmp); }
int32_t GAUGE64_CALL PVbat(void) { return read(Reading::PVbat); }

int32_t GAUGE64_CALL PMemRead(uint32_t address, void* buffer, uint32_t length)
{
    return MemoryCopy(address, buffer, length);
}

} // extern "C"
