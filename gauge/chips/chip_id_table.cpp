// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Super I/O chips recognised by a table of 16-bit chip IDs (configuration registers
// 0x20:0x21), with the hardware monitor found through logical device 0x0B.
//
//   variant  probe  chip IDs                  register layout
//   J        10     0x1061, 0xC452, 0xC453    bank 3; a reduced set when bank-3 0x13 reads 0x75
//   K        11     0xD282                    bank 0
//
// The monitor is banked (bank register 0x4E, bits 2:0) and reached without the busy wait.
// Configuration mode is left once the monitor's port is known; a logical device 0x0B that
// is switched off, absent or without a base is refused, so a chip without a monitor (0x1061
// is in no hardware-monitor table of the kernel) is not taken.
//
// K is the NCT6116 and reads where the kernel's nct6775 driver does (nct6775-core.c, tested
// on the real chips): voltages NCT6106_REG_IN, temperatures NCT6106_REG_TEMP_MON, and fans
// as 13-bit counts in the word registers 0x20 and 0x22 (NCT6116_REG_FAN, fan_from_reg13).
// Fan1 is its second fan input, Fan2 its first, in the order J reads its RPM words.
//
// J keeps its bank-3 layout and RPM words at bank-0 0x30 to 0x33. The kernel reads
// 0xC452/0xC453 (its NCT6106) elsewhere: voltages at bank-0 0x00 to 0x09, temperatures at
// 0x10 to 0x15 and 0x18 to 0x1A, fans as counts at 0x20, 0x22, 0x24; of bank 3 it knows only
// 0x311 to 0x313 (NCT6106_REG_TEMP_OFFSET, the last one J's layout marker) and 0x318/0x319.
// That says where the kernel reads, not what bank 3 and 0x30 to 0x33 hold, and 0x1061 is no
// chip of the kernel's at all; without a datasheet or a captured chip to show J's registers
// empty, J stays as it is.

#include "conversions.h"
#include "driver.h"
#include "families.h"
#include "gauge64.h"
#include "row_install.h"
#include "superio.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace gauge::chips::chipid {

namespace {

enum class Source { Millivolts, FanWord, FanCount13, Celsius };

// Voltage and temperature rows select their bank before the read and return to bank 0
// after it; fan rows only select theirs before the read.
struct Row {
    Reading slot;
    Source source;
    uint8_t reg;    // high byte of a fan word
    uint8_t lowReg; // low byte of a fan word
    uint8_t bank;
    Scale scale;
    Bounds bounds;
};

constexpr Row volts(Reading slot, uint8_t bank, uint8_t reg, Scale scale, Bounds bounds)
{
    return {slot, Source::Millivolts, reg, 0, bank, scale, bounds};
}
constexpr Row fanWord(Reading slot, uint8_t bank, uint8_t highReg, uint8_t lowReg)
{
    return {slot, Source::FanWord, highReg, lowReg, bank, scaled(1), kUnbounded};
}
constexpr Row fanCount13(Reading slot, uint8_t bank, uint8_t highReg, uint8_t lowReg)
{
    return {slot, Source::FanCount13, highReg, lowReg, bank, scaled(1), kUnbounded};
}
constexpr Row celsius(Reading slot, uint8_t bank, uint8_t reg)
{
    return {slot, Source::Celsius, reg, 0, bank, scaled(1), kUnbounded};
}

struct Variant {
    const Row* rows;
    std::size_t rowCount;
};

// 42.04255319148936 is the double nearest to 8 × 247/47.
constexpr Row kRowsJ[] = {
    volts(Vcore, 3, 0x00, times(8.0), ceiling(10000)),
    volts(Vio, 3, 0x02, times(8.0), ceiling(10000)),
    volts(P5V, 3, 0x01, times(42.04255319148936), ceiling(70000)),
    volts(P12V, 3, 0x04, times(96.0), ceiling(20000)),
    fanWord(Fan1, 0, 0x32, 0x33),
    fanWord(Fan2, 0, 0x30, 0x31),
    celsius(CpuTemp, 3, 0x0D),
    celsius(SysTemp, 3, 0x0C),
};

constexpr Row kRowsJReduced[] = {
    volts(Vcore, 3, 0x00, times(8.0), ceiling(10000)),
    volts(Vio, 3, 0x05, times(8.0), ceiling(10000)),
    fanWord(Fan1, 0, 0x32, 0x33),
    fanWord(Fan2, 0, 0x30, 0x31),
    celsius(CpuTemp, 3, 0x0D),
    celsius(SysTemp, 3, 0x0C),
};

constexpr Row kRowsK[] = {
    volts(Vcore, 0, 0x00, times(8.0), ceiling(10000)),
    volts(Vio, 0, 0x05, times(8.0), ceiling(10000)),
    volts(P5V, 0, 0x01, times(42.04255319148936), ceiling(70000)),
    volts(P12V, 0, 0x04, times(88.0), ceiling(20000)),
    fanCount13(Fan1, 0, 0x22, 0x23),
    fanCount13(Fan2, 0, 0x20, 0x21),
    celsius(CpuTemp, 0, 0x19),
    celsius(SysTemp, 0, 0x18),
};

constexpr Variant kJ{kRowsJ, std::size(kRowsJ)};
constexpr Variant kJReduced{kRowsJReduced, std::size(kRowsJReduced)};
constexpr Variant kK{kRowsK, std::size(kRowsK)};

constexpr uint16_t kChipIdsJ[] = {0x1061, 0xC452, 0xC453};
constexpr uint16_t kChipIdsK[] = {0xD282};

constexpr uint8_t kMonitorDevice = 0x0B;
constexpr uint8_t kBankRegister = 0x4E;
constexpr uint8_t kLayoutBank = 3;
constexpr uint8_t kLayoutMarker = 0x13; // bank 3
constexpr uint8_t kReducedLayout = 0x75;

struct State {
    uint32_t addrPort = 0;
    bool reducedSet = false;
};

State g_state;

void switchBank(uint8_t bank)
{
    const uint8_t current = HwmReadDirect(g_state.addrPort, kBankRegister);
    HwmWriteDirect(g_state.addrPort, kBankRegister, uint8_t((current & 0x88) | bank));
}

uint8_t readRegister(uint8_t reg)
{
    return HwmReadDirect(g_state.addrPort, reg);
}

// Configuration mode is left before this returns, whatever it found.
template <std::size_t N>
std::optional<uint32_t> monitorOfChip(uint32_t cfg, const uint16_t (&chipIds)[N])
{
    const superio::ConfigSession session(cfg);
    if (std::find(chipIds, chipIds + N, superio::chipId(cfg)) == chipIds + N)
        return std::nullopt;
    return superio::monitorAddrPort(cfg, kMonitorDevice);
}

template <std::size_t N>
bool detectChip(const uint16_t (&chipIds)[N])
{
    for (uint32_t cfg : superio::kConfigPorts) {
        if (const std::optional<uint32_t> addrPort = monitorOfChip(cfg, chipIds)) {
            g_state.addrPort = *addrPort;
            return true;
        }
    }
    return false;
}

// The layout is read once, here, and the monitor is left in bank 3.
bool detectJ()
{
    if (!detectChip(kChipIdsJ))
        return false;
    switchBank(kLayoutBank);
    g_state.reducedSet = readRegister(kLayoutMarker) == kReducedLayout;
    return true;
}

bool detectK()
{
    return detectChip(kChipIdsK);
}

int32_t convert(const Row& row)
{
    switch (row.source) {
    case Source::Millivolts:
        return boundedReading(millivoltsFromByte(readRegister(row.reg), row.scale), row.bounds);
    case Source::FanWord:
    case Source::FanCount13: {
        const uint8_t high = readRegister(row.reg);
        const uint8_t low = readRegister(row.lowReg);
        return row.source == Source::FanWord ? rpmFromWord(high, low) : rpmFromCount13(high, low);
    }
    case Source::Celsius:
        return celsiusFromSignedByte(readRegister(row.reg));
    }
    return 0;
}

int32_t readRow(const Variant&, const Row& row)
{
    switchBank(row.bank);
    const int32_t value = convert(row);
    if (row.source == Source::Millivolts || row.source == Source::Celsius)
        switchBank(0);
    return value;
}

// Nothing is written to the chip at install.
void installJ(ReadingTable& table)
{
    if (g_state.reducedSet)
        installRows<kJReduced>(table);
    else
        installRows<kJ>(table);
}

void installK(ReadingTable& table)
{
    installRows<kK>(table);
}

} // namespace

} // namespace gauge::chips::chipid

namespace gauge::chips {

const ChipFamily kChipIdJ{"Super I/O with chip ID 0x1061, 0xC452 or 0xC453", &chipid::detectJ, &chipid::installJ,
                          GAUGE64_FOUND};
const ChipFamily kChipIdK{"Super I/O with chip ID 0xD282", &chipid::detectK, &chipid::installK, GAUGE64_FOUND};

} // namespace gauge::chips
