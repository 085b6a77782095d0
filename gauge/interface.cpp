// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The exported interface: the reading table with its default entry, DLLInitial's choice of
// source (on Linux the kernel's hwmon drivers first), its probe chain and DLLRelease.

#include "gauge64.h"

#include "driver.h"
#include "os_api.h"
#include "reading_table.h"
#include "source_text.h"

#ifndef _WIN32
#include "hwmon/hwmon_source.h"
#include "hwmon/source_choice.h"
#endif

#include <cstdlib>

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

void releaseSources()
{
#ifndef _WIN32
    hwmon::close();
#endif
    forgetSource();
    if (!driver())
        return;
    DriverClose();
    destroyDriver();
}

// The port path names the simulated board it runs on, or the chip family it found.
void recordPortSource(const ChipFamily* family)
{
#ifndef _WIN32
    const char* board = std::getenv("GAUGE64_BOARD");
    if (board && *board)
        return recordSource(kSourceBoard, {board});
#endif
    if (family)
        recordSource(kSourcePort, {family->name});
    else
        recordSource(kSourcePort, {});
}

int32_t probe()
{
    const ProbeChain chain = probeChain();
    for (std::size_t i = 0; i < chain.count; ++i) {
        const ChipFamily& family = *chain.steps[i];
        if (family.detect()) {
            family.install(readingTable());
            recordPortSource(&family);
            return family.status;
        }
    }
    recordPortSource(nullptr);
    return GAUGE64_NO_CHIP;
}

int32_t startPortSource()
{
    portio::selectOs();
    createDriver();
    DriverOpen();
    if (!driver()->isOpen) {
        portio::os().beep();
        recordPortSource(nullptr);
        return GAUGE64_NO_DRIVER;
    }
    return probe();
}

} // namespace

} // namespace gauge

using namespace gauge;

extern "C" {

int32_t GAUGE64_CALL DLLInitial(void)
{
    // A second initialisation must not leak the device handle or the libsensors state of
    // the first.
    releaseSources();
    readingTable().fill(&ReadZero);
#ifndef _WIN32
    // With the kernel's drivers as the source the port driver is never opened: no probing
    // of a chip that a kernel driver owns.
    if (const std::optional<int32_t> status = hwmon::startHwmonSource(readingTable()))
        return *status;
#endif
    return startPortSource();
}

int32_t GAUGE64_CALL DLLRelease(void)
{
    releaseSources();
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
