// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Fintek Super I/O hardware monitors.
//
//   variant  probe  identification (0x20 0x21 0x23 0x24)  chip
//   A        1      0x10101934, 0x15021934                F81866, F81966 with logical device 0x11
//   B        2      0x07041934                            F81865
//   C        3      0x07231934                            F71889
//   D        4      0x15021934                            F81966 without logical device 0x11
//
// The identification ends in Fintek's vendor ID 0x1934. Voltages are bytes of 8 mV (or a
// multiple) per step, fans 16-bit period counts in two registers, temperatures signed
// bytes. Nothing is ever written to the monitor. Configuration mode is left on every path;
// logical device 4 must be switched on and hold a base, as f71882fg_find requires, and the
// monitor must be powered and started, as f71882fg_probe requires of register 0x01.

#include "conversions.h"
#include "driver.h"
#include "families.h"
#include "gauge64.h"
#include "row_install.h"
#include "superio.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace gauge::chips::fintek {

namespace {

enum class Source { Millivolts, FanCount, Celsius };

struct Row {
    Reading slot;
    Source source;
    uint8_t reg;    // high byte of a fan count
    uint8_t lowReg; // low byte of a fan count
    Scale scale;
    Bounds bounds;
};

constexpr Row volts(Reading slot, uint8_t reg, Scale scale, Bounds bounds = kUnbounded)
{
    return {slot, Source::Millivolts, reg, 0, scale, bounds};
}
constexpr Row fanCount(Reading slot, uint8_t highReg, uint8_t lowReg)
{
    return {slot, Source::FanCount, highReg, lowReg, scaled(1), kUnbounded};
}
constexpr Row celsius(Reading slot, uint8_t reg)
{
    return {slot, Source::Celsius, reg, 0, scaled(1), kUnbounded};
}

// How the monitor's registers are read: the F8186x through the driver's indexed request,
// the others with the waited index/data access.
enum class Access { Indexed, Waited };
// Where the monitor's address port comes from.
enum class Locate { LogicalDevice4, VendorAtCandidates };
// What register 0x30 of logical device 0x11 must show for the variant to take the chip.
enum class Device11 { Ignored, Present, Absent };

struct Variant {
    const uint32_t* ids;
    std::size_t idCount;
    Locate locate;
    Device11 device11;
    Access access;
    const Row* rows;
    std::size_t rowCount;
};

constexpr Row kRowsAB[] = {
    volts(Vcore, 0x21, scaled(8)),
    volts(Vio, 0x24, scaled(8)),
    volts(P5V, 0x22, scaled(8, 5.25531914893617), ceiling(10000)), // 247/47
    volts(P12V, 0x23, scaled(8, 11.0), ceiling(20000)),
    fanCount(Fan1, 0xA0, 0xA1),
    fanCount(Fan2, 0xB0, 0xB1),
    celsius(CpuTemp, 0x72),
    celsius(SysTemp, 0x74),
};

constexpr Row kRowsC[] = {
    volts(Vcore, 0x21, scaled(8)),
    volts(Vio, 0x22, scaled(16)),
    fanCount(Fan1, 0xA0, 0xA1),
    fanCount(Fan2, 0xB0, 0xB1),
    celsius(CpuTemp, 0x72),
    celsius(SysTemp, 0x74),
};

constexpr Row kRowsD[] = {
    volts(Vcore, 0x21, scaled(8)),
    volts(Vio, 0x22, scaled(40)),
    fanCount(Fan1, 0xA0, 0xA1),
    fanCount(Fan2, 0xC0, 0xC1),
    celsius(CpuTemp, 0x72),
    celsius(SysTemp, 0x74),
};

constexpr uint32_t kIdsA[] = {0x10101934, 0x15021934};
constexpr uint32_t kIdsB[] = {0x07041934};
constexpr uint32_t kIdsC[] = {0x07231934};
constexpr uint32_t kIdsD[] = {0x15021934};

// Identification values, monitor location, logical device 0x11, register access, readings.
constexpr Variant kA{kIdsA, std::size(kIdsA), Locate::LogicalDevice4, Device11::Present,
                     Access::Indexed, kRowsAB, std::size(kRowsAB)};
constexpr Variant kB{kIdsB, std::size(kIdsB), Locate::LogicalDevice4, Device11::Ignored,
                     Access::Indexed, kRowsAB, std::size(kRowsAB)};
constexpr Variant kC{kIdsC, std::size(kIdsC), Locate::VendorAtCandidates, Device11::Ignored,
                     Access::Waited, kRowsC, std::size(kRowsC)};
constexpr Variant kD{kIdsD, std::size(kIdsD), Locate::LogicalDevice4, Device11::Absent,
                     Access::Waited, kRowsD, std::size(kRowsD)};

constexpr uint8_t kIdentificationRegs[] = {0x20, 0x21, 0x23, 0x24};
constexpr uint8_t kMonitorDevice = 0x04;
constexpr uint8_t kDevice11 = 0x11;
constexpr uint8_t kDeviceEnable = 0x30;
constexpr uint8_t kAbsent = 0xFF;

// The F71889 monitor carries the vendor ID in its own registers 0x5D (low) and 0x5E (high).
constexpr uint32_t kVendorCandidates[] = {0x295, 0xA15, 0x225};
constexpr uint8_t kMonitorVendorHigh = 0x5E;
constexpr uint8_t kMonitorVendorLow = 0x5D;

// Monitor register 0x01 (f71882fg_probe): bit 2 powers the monitor down; bit 0 starts the
// temperature and voltage inputs, bit 1 the fan inputs. A monitor with neither running is
// not used; with one, the readings of the other read 0.
constexpr uint8_t kStartRegister = 0x01;
constexpr uint8_t kPoweredDown = 0x04;
constexpr uint8_t kInputsStarted = 0x01;
constexpr uint8_t kFansStarted = 0x02;

uint32_t g_addrPort = 0;
uint8_t g_started = 0; // register 0x01 as read at detection

uint32_t identification(uint32_t cfg)
{
    uint32_t id = 0;
    for (uint8_t reg : kIdentificationRegs)
        id = id << 8 | superio::readConfig(cfg, reg);
    return id;
}

bool accepts(const Variant& variant, uint32_t id)
{
    return std::find(variant.ids, variant.ids + variant.idCount, id) != variant.ids + variant.idCount;
}

bool device11Satisfied(const Variant& variant, uint32_t cfg)
{
    if (variant.device11 == Device11::Ignored)
        return true;
    superio::selectLogicalDevice(cfg, kDevice11);
    const bool present = superio::readConfig(cfg, kDeviceEnable) != kAbsent;
    return present == (variant.device11 == Device11::Present);
}

std::optional<uint32_t> monitorByVendor()
{
    for (uint32_t candidate : kVendorCandidates)
        if (HwmRead(candidate, kMonitorVendorHigh) == 0x34 && HwmRead(candidate, kMonitorVendorLow) == 0x19)
            return candidate;
    return std::nullopt;
}

// What configuration mode tells about the chip at cfg: whether the variant takes it, and
// (for the variants that find the monitor through logical device 4) where the monitor is.
struct ConfigFindings {
    bool accepted = false;
    std::optional<uint32_t> addrPort;
};

// Configuration mode is left before this returns, whatever it found.
ConfigFindings inspect(const Variant& variant, uint32_t cfg)
{
    const superio::ConfigSession session(cfg);
    ConfigFindings found;
    found.accepted = accepts(variant, identification(cfg));
    if (!found.accepted || variant.locate == Locate::VendorAtCandidates)
        return found;
    found.addrPort = superio::monitorAddrPort(cfg, kMonitorDevice);
    if (found.addrPort && !device11Satisfied(variant, cfg))
        found.addrPort.reset();
    return found;
}

uint8_t readRegisterAt(const Variant& variant, uint32_t addrPort, uint8_t reg)
{
    return variant.access == Access::Indexed ? HwmIndexedRead(addrPort, reg) : HwmRead(addrPort, reg);
}

uint8_t readRegister(const Variant& variant, uint8_t reg)
{
    return readRegisterAt(variant, g_addrPort, reg);
}

bool monitorRunning(uint8_t started)
{
    return !(started & kPoweredDown) && (started & (kInputsStarted | kFansStarted));
}

bool detectVariant(const Variant& variant)
{
    for (uint32_t cfg : superio::kConfigPorts) {
        const ConfigFindings found = inspect(variant, cfg);
        if (!found.accepted)
            continue;
        const std::optional<uint32_t> addrPort =
            variant.locate == Locate::VendorAtCandidates ? monitorByVendor() : found.addrPort;
        if (!addrPort)
            continue;
        const uint8_t started = readRegisterAt(variant, *addrPort, kStartRegister);
        if (monitorRunning(started)) {
            g_addrPort = *addrPort;
            g_started = started;
            return true;
        }
    }
    return false;
}

uint8_t startBitOf(const Row& row)
{
    return row.source == Source::FanCount ? kFansStarted : kInputsStarted;
}

int32_t readRow(const Variant& variant, const Row& row)
{
    switch (row.source) {
    case Source::Millivolts:
        return boundedReading(millivoltsFromByte(readRegister(variant, row.reg), row.scale), row.bounds);
    case Source::FanCount: {
        const uint8_t high = readRegister(variant, row.reg);
        const uint8_t low = readRegister(variant, row.lowReg);
        return rpmFromPeriodCount(uint16_t(high << 8 | low));
    }
    case Source::Celsius:
        return celsiusFromSignedByte(readRegister(variant, row.reg));
    }
    return 0;
}

template <const Variant& V>
bool detect()
{
    return detectVariant(V);
}

// Nothing is written to the chip at install; inputs the monitor does not run keep ReadZero.
template <const Variant& V>
void install(ReadingTable& table)
{
    installRows<V>(table);
    for (std::size_t i = 0; i < V.rowCount; ++i)
        if (!(g_started & startBitOf(V.rows[i])))
            table[V.rows[i].slot] = &ReadZero;
}

} // namespace

} // namespace gauge::chips::fintek

namespace gauge::chips {

const ChipFamily kFintekA{"Fintek F81866/F81966 with logical device 0x11", &fintek::detect<fintek::kA>,
                          &fintek::install<fintek::kA>, GAUGE64_FOUND};
const ChipFamily kFintekB{"Fintek F81865", &fintek::detect<fintek::kB>, &fintek::install<fintek::kB>,
                          GAUGE64_FOUND};
const ChipFamily kFintekC{"Fintek F71889", &fintek::detect<fintek::kC>, &fintek::install<fintek::kC>,
                          GAUGE64_FOUND};
const ChipFamily kFintekD{"Fintek F81966 without logical device 0x11", &fintek::detect<fintek::kD>,
                          &fintek::install<fintek::kD>, GAUGE64_FOUND};

} // namespace gauge::chips
