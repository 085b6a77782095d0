// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Winbond hardware monitors: vendor ID 0x5CA3 in register 0x4F, chip ID in bank-0
// register 0x58.
//
//   variant  probe  monitor looked for at                           chip ID (0x58)     banks    status
//   E        5      Super I/O ID 0xAx, then 0x295, 0x225, 0xA15     0xC1               waited   16
//   F        6      0x295                                           0x10 or 0x11       direct    4
//   G        7      logical device 0x0B of Super I/O 0x52 or 0x60   nibble 0x2 or 0x6  direct   16
//   H        8      logical device 0x0B of Super I/O 0x82 or 0x85   nibble 0x9         direct   16
//   I        9      0x295, 0x225, 0xA15, 0xE85                      0xA1 or 0xC1       waited   16
//
// The kernel serves these parts in w83627ehf.c (E: W83627DHG, W83627UHG, W83667HG behind
// Super I/O IDs 0xA02x, 0xA23x, 0xA51x; I: W83627EHG, and with chip ID 0xC1 the
// W83627DHG-P, W83667HG-B or an E chip found elsewhere), w83781d.c (F: W83781D) and
// w83627hf.c (G: W83627HF, W83697HF; H: W83627THF, W83687THF).
//
// Registers 0x50 to 0x5F are banked (bank register 0x4E, bits 2:0); the voltage bytes
// 0x20 to 0x26, the system temperature 0x27 and the fan counts 0x28/0x29 are not.
// Waited bank switching keeps bits 7 and 3 of 0x4E; direct switching is four plain port
// accesses that keep bits 7 to 3. Nothing is written to a candidate port before reads have
// shown a Winbond monitor there.

#include "conversions.h"
#include "driver.h"
#include "families.h"
#include "gauge64.h"
#include "os_api.h"
#include "row_install.h"
#include "superio.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace gauge::chips::winbond {

namespace {

enum class Source { Millivolts, CoreMillivolts, FanCount, Celsius, CpuCelsius, BatteryMillivolts };

constexpr uint8_t kNoBank = 0xFF; // read wherever the bank register stands
constexpr uint8_t kBank0 = 0;
constexpr uint8_t kBank1 = 1;
constexpr uint8_t kBank2 = 2;
constexpr uint8_t kBank5 = 5;
constexpr uint8_t kNoAlternate = 0;

// A fan's divisor belongs to its count register: two bits of register 0x47, plus 4 when
// the chip has a third divisor bit and it is set in bank-0 register 0x5D
// (w83627ehf_update_fan_div, w83627hf_update_fan_div; the W83781D has no third bit).
struct FanDivisor {
    uint8_t shift;    // of the two bits in 0x47
    uint8_t thirdBit; // in 0x5D
};

constexpr FanDivisor kNoDivisor{0, 0};

// 0x28 takes 0x47 bits 5:4 and 0x5D bit 5, 0x29 bits 7:6 and 0x5D bit 6.
constexpr FanDivisor divisorOfCount(uint8_t countReg)
{
    return countReg == 0x28 ? FanDivisor{4, 0x20} : FanDivisor{6, 0x40};
}

// Voltage and processor-temperature rows select their bank before the read and return to
// bank 0 after it; fan and system-temperature rows only select theirs before the read.
// Temperatures are two's-complement bytes.
struct Row {
    Reading slot;
    Source source;
    uint8_t reg;
    uint8_t bank;
    Scale scale;
    Bounds bounds;
    uint8_t alternateReg; // read instead of reg when the chip-ID nibble 0x6 was seen (G)
    FanDivisor divisor;
};

constexpr Row volts(Reading slot, uint8_t reg, uint8_t bank, Scale scale, Bounds bounds)
{
    return {slot, Source::Millivolts, reg, bank, scale, bounds, kNoAlternate, kNoDivisor};
}
constexpr Row voltsOrAlternate(Reading slot, uint8_t reg, uint8_t alternateReg, Scale scale, Bounds bounds)
{
    return {slot, Source::Millivolts, reg, kNoBank, scale, bounds, alternateReg, kNoDivisor};
}
// The core voltage of a chip with a VRM mode register: the scale given, or the VRM9
// formula when register 0x18 bit 0 was set at install.
constexpr Row coreVolts(uint8_t reg, Scale scale, Bounds bounds)
{
    return {Vcore, Source::CoreMillivolts, reg, kNoBank, scale, bounds, kNoAlternate, kNoDivisor};
}
// A chip with a third divisor bit reads its fans in bank 0, where 0x5D holds that bit.
constexpr Row fanCount(Reading slot, uint8_t reg, uint8_t bank)
{
    return {slot, Source::FanCount, reg, bank, scaled(1), kUnbounded, kNoAlternate, divisorOfCount(reg)};
}
constexpr Row systemCelsius(uint8_t reg, uint8_t bank)
{
    return {SysTemp, Source::Celsius, reg, bank, scaled(1), kUnbounded, kNoAlternate, kNoDivisor};
}
constexpr Row cpuCelsius(uint8_t reg, uint8_t bank)
{
    return {CpuTemp, Source::CpuCelsius, reg, bank, scaled(1), kUnbounded, kNoAlternate, kNoDivisor};
}
constexpr Row batteryMillivolts(uint8_t reg, Scale scale)
{
    return {PVbat, Source::BatteryMillivolts, reg, kNoBank, scale, kUnbounded, kNoAlternate, kNoDivisor};
}

// +5 V is 0x22 in 33.28 mV steps: the W83627UHG's scale for that input
// (scale_in_w83627uhg). On the W83627DHG and W83667HG the same input is the chip's own
// analog supply, so those chips have no +5 V reading (see kEhfChips).
constexpr Row kRowsE[] = {
    volts(Vcore, 0x20, kBank0, times(8.0), ceiling(10000)),
    volts(Vio, 0x25, kBank0, times(16.0), ceiling(10000)),
    volts(P5V, 0x22, kBank0, scaled(8, 4.16), ceiling(70000)),
    volts(P12V, 0x21, kBank0, scaled(8, 16.0), ceiling(20000)),
    fanCount(Fan1, 0x29, kBank0),
    fanCount(Fan2, 0x28, kBank0),
    cpuCelsius(0x50, kBank1),
    systemCelsius(0x27, kBank0),
};

constexpr Row kRowsF[] = {
    volts(Vcore, 0x20, kNoBank, times(16.0), ceiling(10000)),
    volts(Vio, 0x22, kNoBank, times(16.0), ceiling(10000)),
    volts(P5V, 0x23, kNoBank, times(26.64), ceiling(7000)),
    volts(P12V, 0x24, kNoBank, times(61.26), ceiling(20000)),
    volts(N12V, 0x25, kNoBank, times(55.82), window(9000, 15000)),
    volts(N5V, 0x26, kNoBank, times(24.06), window(3500, 7000)),
    fanCount(Fan1, 0x28, kNoBank),
    fanCount(Fan2, 0x29, kNoBank),
    cpuCelsius(0x50, kBank1),
    systemCelsius(0x27, kNoBank),
};

// The decimals are the doubles nearest to 25/42, 5/19 and 27000/11; 0.19444444444444442
// and 0.31818181818181823 are used as written, not as the doubles nearest to 7/36 and 7/22.
// Both temperatures are signed, as w83627hf's TEMP_FROM_REG and LM75_TEMP_FROM_REG read them.
constexpr Row kRowsG[] = {
    volts(Vcore, 0x20, kNoBank, times(16.0), ceiling(10000)),
    voltsOrAlternate(Vio, 0x21, 0x22, times(16.0), ceiling(10000)),
    volts(P5V, 0x23, kNoBank, over(16, 0.5952380952380952), ceiling(10000)),
    volts(P12V, 0x24, kNoBank, over(16, 0.2631578947368421), ceiling(20000)),
    volts(N12V, 0x25, kNoBank, fromReferenceOver(2900.0, 16, 0.19444444444444442), window(9000, 15000)),
    volts(N5V, 0x26, kNoBank, fromReferenceOver(2454.5454545454545, 16, 0.31818181818181823), window(3500, 7000)),
    fanCount(Fan1, 0x28, kBank0),
    fanCount(Fan2, 0x29, kBank0),
    cpuCelsius(0x50, kBank1),
    systemCelsius(0x27, kNoBank),
};

constexpr Row kRowsH[] = {
    coreVolts(0x20, times(16.0), ceiling(10000)),
    volts(Vio, 0x21, kNoBank, times(16.0), ceiling(10000)),
    volts(P5V, 0x23, kNoBank, over(16, 0.6), ceiling(10000)),
    volts(P12V, 0x22, kNoBank, over(16, 0.2631578947368421), ceiling(20000)),
    fanCount(Fan1, 0x29, kBank0),
    fanCount(Fan2, 0x28, kBank0),
    cpuCelsius(0x50, kBank1),
    systemCelsius(0x27, kNoBank),
};

// 0.3125 = 5/16, 0.15151515151515152 = 5/33, 0.04132231404958678 = 5/121 and
// 0.07692307692307693 = 1/13 (nearest doubles). The -12 V byte is bank-5 register 0x52.
constexpr Row kRowsI[] = {
    volts(Vcore, 0x20, kBank0, times(8.0), ceiling(10000)),
    volts(Vio, 0x24, kBank0, times(8.0), ceiling(10000)),
    volts(P5V, 0x26, kBank0, over(8, 0.3125), ceiling(70000)),
    volts(P12V, 0x21, kBank0, over(8, 0.15151515151515152), ceiling(20000)),
    volts(N12V, 0x52, kBank5, referenceMinusOver(47513.6, 8, 0.04132231404958678), window(9000, 15000)),
    volts(N5V, 0x25, kBank0, referenceMinusOver(24576.0, 8, 0.07692307692307693), window(3500, 7000)),
    fanCount(Fan1, 0x29, kBank0),
    fanCount(Fan2, 0x28, kBank0),
    cpuCelsius(0x50, kBank1),
    systemCelsius(0x27, kBank0),
    batteryMillivolts(0x51, scaled(16)),
};

enum class BankSwitch { Waited, Direct };

// Where the monitor is looked for: at fixed candidate ports, at candidates once a Super I/O
// of the right family answered (E), or where logical device 0x0B of a Super I/O of the
// variant's own puts it (G, H: w83627hf_find).
enum class Locate { Candidates, CandidatesAfterSuperIo, LogicalDevice0B };

// Inputs the register map names that some chips of the variant do not have.
enum class AbsentInputs {
    None,
    AvccAt22,    // E: the Super I/O says whether input 0x22 is +5 V or the analog supply
    EhfFamilyC1, // I: a chip ID 0xC1 has no input 9, and the Super I/O decides input 0x26
};

struct Variant {
    Locate locate;
    const uint32_t* candidates;
    std::size_t candidateCount;
    const uint8_t* superIoIds; // configuration register 0x20 (LogicalDevice0B)
    std::size_t superIoIdCount;
    uint8_t chipIdMask;
    const uint8_t* chipIds;
    std::size_t chipIdCount;
    BankSwitch bankSwitch;
    bool thirdDivisorBit;
    uint8_t startClears;  // bits of 0x40 cleared with the start bit set
    bool vrmModeRegister; // register 0x18 bit 0 selects the VRM9 core-voltage formula
    bool rearm;           // re-arms the processor-temperature alarm on every reading
    AbsentInputs absentInputs;
    const Row* rows;
    std::size_t rowCount;
};

constexpr uint32_t kPortsE[] = {0x295, 0x225, 0xA15};
constexpr uint32_t kPortsF[] = {0x295};
constexpr uint32_t kPortsI[] = {0x295, 0x225, 0xA15, 0xE85};

// w83627hf_find's device IDs: W83627HF 0x52 and W83697HF 0x60 carry G's monitors,
// W83627THF 0x82 and W83687THF 0x85 H's.
constexpr uint8_t kSuperIoIdsG[] = {0x52, 0x60};
constexpr uint8_t kSuperIoIdsH[] = {0x82, 0x85};

constexpr uint8_t kIdsE[] = {0xC1};
constexpr uint8_t kIdsF[] = {0x10}; // and 0x11 under the mask: w83781d_isa_found
constexpr uint8_t kIdsG[] = {0x20, 0x60};
constexpr uint8_t kIdsH[] = {0x90};
constexpr uint8_t kIdsI[] = {0xA1, 0xC1};

constexpr uint8_t kWholeId = 0xFF;
constexpr uint8_t kHighNibble = 0xF0;
constexpr uint8_t kW83781dId = 0xFE;

// w83627ehf_init_device sets the start bit and keeps the rest; w83627hf_init_device and
// w83781d_init_device also clear bit 3, which would hold the interrupt outputs off.
constexpr uint8_t kKeepAll = 0x00;
constexpr uint8_t kInterruptHold = 0x08;

// Location, candidate ports, Super I/O IDs, chip-ID mask and accepted values, bank
// switching, third divisor bit, 0x40 bits cleared at start, VRM mode register, re-arm,
// inputs some chips lack, readings.
constexpr Variant kE{Locate::CandidatesAfterSuperIo, kPortsE, std::size(kPortsE), nullptr, 0,
                     kWholeId, kIdsE, std::size(kIdsE), BankSwitch::Waited,
                     true, kKeepAll, false, true, AbsentInputs::AvccAt22, kRowsE, std::size(kRowsE)};
constexpr Variant kF{Locate::Candidates, kPortsF, std::size(kPortsF), nullptr, 0,
                     kW83781dId, kIdsF, std::size(kIdsF), BankSwitch::Direct,
                     false, kInterruptHold, false, false, AbsentInputs::None, kRowsF, std::size(kRowsF)};
constexpr Variant kG{Locate::LogicalDevice0B, nullptr, 0, kSuperIoIdsG, std::size(kSuperIoIdsG),
                     kHighNibble, kIdsG, std::size(kIdsG), BankSwitch::Direct,
                     true, kInterruptHold, false, true, AbsentInputs::None, kRowsG, std::size(kRowsG)};
constexpr Variant kH{Locate::LogicalDevice0B, nullptr, 0, kSuperIoIdsH, std::size(kSuperIoIdsH),
                     kHighNibble, kIdsH, std::size(kIdsH), BankSwitch::Direct,
                     true, kInterruptHold, true, true, AbsentInputs::None, kRowsH, std::size(kRowsH)};
constexpr Variant kI{Locate::Candidates, kPortsI, std::size(kPortsI), nullptr, 0,
                     kWholeId, kIdsI, std::size(kIdsI), BankSwitch::Waited,
                     true, kKeepAll, false, true, AbsentInputs::EhfFamilyC1, kRowsI, std::size(kRowsI)};

// Input 0x26 (VIN3) as w83627ehf_probe decides in6_skip: it shares its pin with the
// temperature input AUXTIN on the W83667HG and W83667HG-B.
enum class Vin3 {
    Present,
    Absent,
    UnlessAuxtinRuns,      // W83667HG: a voltage while bank-2 0x52 bit 0 stops AUXTIN
    UnlessAuxtinIsASource, // W83667HG-B: a voltage unless a temperature channel reads AUXTIN
};

// The kernel's w83627ehf chips by Super I/O chip ID (masked with SIO_ID_MASK); the monitor's
// own chip ID 0xC1 is shared by five of them.
struct EhfChip {
    uint16_t superIoId;
    bool avccAt22; // input 0x22 is the analog supply, not a +5 V divider (scale_in_common)
    Vin3 vin3;
};

constexpr EhfChip kEhfChips[] = {
    {0x8850, true, Vin3::Present},               // W83627EHF
    {0x8860, true, Vin3::Present},               // W83627EHG
    {0xA020, true, Vin3::Present},               // W83627DHG
    {0xB070, true, Vin3::Present},               // W83627DHG-P
    {0xA230, false, Vin3::Absent},               // W83627UHG
    {0xA510, true, Vin3::UnlessAuxtinRuns},      // W83667HG
    {0xB350, true, Vin3::UnlessAuxtinIsASource}, // W83667HG-B
};
constexpr uint16_t kSuperIoIdMask = 0xFFF0;

// Input 9 (bank-5 0x52) exists on the W83627EHF/EHG only (in_num), whose monitors are not
// chip ID 0xC1.
constexpr uint8_t kChipIdWithoutInput9 = 0xC1;

constexpr uint8_t kMonitorDevice = 0x0B;
constexpr uint8_t kVrmModeRegister = 0x18;
constexpr uint8_t kVrm9 = 0x01;
constexpr uint8_t kConfigRegister = 0x40;
constexpr uint8_t kStartMonitoring = 0x01;
constexpr uint8_t kFanDivisorBits = 0x47;
constexpr uint8_t kTempSources = 0x49;    // W83667HG-B: bits 2:0 temperature 2, 6:4 temperature 3
constexpr uint8_t kTemp1Source = 0x4A;    // W83667HG-B: bits 7:5
constexpr uint8_t kBankRegister = 0x4E;
constexpr uint8_t kVendorRegister = 0x4F;
constexpr uint8_t kVendorHighByte = 0x80; // bit 7 of 0x4E: 0x4F shows the vendor ID's high byte
constexpr uint8_t kChipIdRegister = 0x58;
constexpr uint8_t kVbatControl = 0x5D;  // bank 0; also the third fan divisor bits
constexpr uint8_t kVbatEnable = 0x01;
constexpr uint8_t kTemp4Source = 0x7D;  // W83667HG-B: bits 2:0
constexpr uint8_t kAuxtinSource = 2;    // the source code the W83667HG-B gives AUXTIN
constexpr uint8_t kCpuTempConfig = 0x52; // bank 1; bank 2 holds AUXTIN's
constexpr uint8_t kCpuTempHysteresis = 0x53; // bank 1; the limit itself is 0x55
constexpr uint8_t kTempStopped = 0x01;
constexpr uint8_t kCpuTempRearmBit = 0x02;
constexpr uint32_t kRearmPulseMs = 10;
constexpr uint16_t kVendorId = 0x5CA3;
constexpr uint8_t kSuperIoFamily = 0xA0; // Super I/O chip ID 0xAx in front of variant E's monitor
constexpr uint8_t kAlternateVioNibble = 0x60;

struct State {
    uint32_t addrPort = 0;
    uint8_t chipId = 0;
    uint8_t savedTempConfig = 0;
    uint16_t superIoId = 0; // E: the Super I/O in front of the monitor
    bool vioAlternate = false;
    bool vrm9 = false;
};

State g_state;

uint8_t readRegister(uint8_t reg)
{
    return HwmRead(g_state.addrPort, reg);
}

void writeRegister(uint8_t reg, uint8_t value)
{
    HwmWrite(g_state.addrPort, reg, value);
}

void switchBank(const Variant& variant, uint8_t bank)
{
    const uint32_t port = g_state.addrPort;
    if (variant.bankSwitch == BankSwitch::Waited) {
        const uint8_t current = HwmRead(port, kBankRegister);
        HwmWrite(port, kBankRegister, uint8_t((current & 0x88) | bank));
        return;
    }
    PortOut(port, kBankRegister);
    const uint8_t current = PortIn(port + 1);
    PortOut(port, kBankRegister);
    PortOut(port + 1, uint8_t((current & 0xF8) | bank));
}

// Reads only, as w83781d_isa_found does before it writes anything: register 0x4F must
// show the byte of the vendor ID that bit 7 of the bank register selects. An empty port
// reads 0xFF everywhere and fails.
bool monitorAnswers(uint32_t port)
{
    const uint8_t bankRegister = HwmRead(port, kBankRegister);
    const uint8_t vendorByte = HwmRead(port, kVendorRegister);
    const uint8_t expected = (bankRegister & kVendorHighByte) ? uint8_t(kVendorId >> 8) : uint8_t(kVendorId);
    return vendorByte == expected;
}

// Both vendor bytes, by switching bit 7 of 0x4E; only for a port that answered. Leaves
// bank 0 selected and bit 7 of 0x4E clear.
bool vendorMatches(uint32_t port)
{
    uint8_t bankRegister = HwmRead(port, kBankRegister);
    HwmWrite(port, kBankRegister, uint8_t((bankRegister & 0xF8) | kVendorHighByte));
    const uint8_t high = HwmRead(port, kVendorRegister);
    bankRegister = HwmRead(port, kBankRegister);
    HwmWrite(port, kBankRegister, uint8_t(bankRegister & ~kVendorHighByte));
    const uint8_t low = HwmRead(port, kVendorRegister);
    return high * 256 + low == kVendorId;
}

bool isWinbondMonitor(uint32_t port)
{
    return monitorAnswers(port) && vendorMatches(port);
}

bool chipIdAccepted(const Variant& variant, uint8_t chipId)
{
    const uint8_t masked = chipId & variant.chipIdMask;
    return std::find(variant.chipIds, variant.chipIds + variant.chipIdCount, masked) !=
           variant.chipIds + variant.chipIdCount;
}

// Leaves configuration mode at every port it tried.
bool superIoPrecheckPasses()
{
    for (uint32_t cfg : superio::kConfigPorts) {
        uint16_t id = 0;
        {
            const superio::ConfigSession session(cfg);
            id = superio::chipId(cfg);
        }
        if (((id >> 8) & 0xF0) == kSuperIoFamily) {
            g_state.superIoId = id;
            return true;
        }
    }
    return false;
}

// The monitor port logical device 0x0B gives on the first Super I/O whose device ID is the
// variant's (w83627hf_find); configuration mode is left at every port tried.
std::optional<uint32_t> monitorOfSuperIo(const Variant& variant)
{
    const uint8_t* const idsEnd = variant.superIoIds + variant.superIoIdCount;
    for (uint32_t cfg : superio::kConfigPorts) {
        const superio::ConfigSession session(cfg);
        if (std::find(variant.superIoIds, idsEnd, superio::readConfig(cfg, superio::kChipIdHigh)) == idsEnd)
            continue;
        if (const std::optional<uint32_t> addrPort = superio::monitorAddrPort(cfg, kMonitorDevice))
            return addrPort;
    }
    return std::nullopt;
}

std::vector<uint32_t> candidatePorts(const Variant& variant)
{
    switch (variant.locate) {
    case Locate::CandidatesAfterSuperIo:
        if (!superIoPrecheckPasses())
            return {};
        break;
    case Locate::LogicalDevice0B: {
        const std::optional<uint32_t> addrPort = monitorOfSuperIo(variant);
        return addrPort ? std::vector<uint32_t>{*addrPort} : std::vector<uint32_t>{};
    }
    case Locate::Candidates:
        break;
    }
    return {variant.candidates, variant.candidates + variant.candidateCount};
}

// A W83697HF (chip-ID nibble 0x6) has the board's I/O rail on 0x22; only G's table has
// that alternative.
bool detectVariant(const Variant& variant)
{
    for (uint32_t port : candidatePorts(variant)) {
        if (!isWinbondMonitor(port))
            continue;
        const uint8_t chipId = HwmRead(port, kChipIdRegister);
        if (chipIdAccepted(variant, chipId)) {
            g_state.addrPort = port;
            g_state.chipId = chipId;
            g_state.vioAlternate = (chipId & kHighNibble) == kAlternateVioNibble;
            return true;
        }
    }
    return false;
}

// The divisor is read with every fan reading, as w83627ehf_update_device,
// w83627hf_update_device and w83781d_update_device re-read it at every update: the
// firmware or another program may change it at any time. With bank 0 selected where the
// chip has a third divisor bit.
//
// It is never raised here, though w83627ehf_update_device raises it when a count reads
// 0xFF: that is a read-modify-write of 0x47 and 0x5D (which also hold the battery switch)
// during a reading, on a chip the firmware may drive at the same moment, and it changes
// what the fan limits the firmware set mean unless they are halved too, as the kernel does.
int32_t fanNumerator(const Variant& variant, const FanDivisor& divisor)
{
    int exponent = (readRegister(kFanDivisorBits) >> divisor.shift) & 0x03;
    if (variant.thirdDivisorBit && (readRegister(kVbatControl) & divisor.thirdBit))
        exponent += 4;
    return fanNumeratorForDivisorExponent(exponent);
}

int32_t fanRpm(const Variant& variant, const Row& row)
{
    const int32_t numerator = fanNumerator(variant, row.divisor);
    return rpmFromDividedCount(readRegister(row.reg), numerator);
}

// Register 0x40: the start bit set, the firmware's other bits kept (bit 3 cleared where
// the kernel clears it); written only when that changes it.
void startMonitoring(const Variant& variant)
{
    const uint8_t config = readRegister(kConfigRegister);
    const uint8_t started = uint8_t((config & ~variant.startClears) | kStartMonitoring);
    if (started != config)
        writeRegister(kConfigRegister, started);
}

// With bank 1 selected. A firmware may leave the processor-temperature channel stopped
// (0x52 bit 0), which freezes its reading; the kernel starts it at init
// (w83627ehf_init_device, w83627hf_init_device, w83781d_init_device). Returns 0x52 as left.
uint8_t startCpuTemperature()
{
    const uint8_t config = readRegister(kCpuTempConfig);
    if (!(config & kTempStopped))
        return config;
    const uint8_t running = uint8_t(config & ~kTempStopped);
    writeRegister(kCpuTempConfig, running);
    return running;
}

// With bank 1 selected. While the temperature stays at or above its hysteresis in 0x53
// (the kernel's temp2_max_hyst; the limit itself is 0x55), the level down to which the
// chip holds its over-temperature alarm, bit 1 of 0x52 pulsed low for 10 ms re-arms the
// alarm; 0x52 is always restored to the value it had after install. Both bytes are two's
// complement (TEMP_FROM_REG): a reading below 0 C is below a positive hysteresis.
uint8_t cpuTemperatureRearmed(uint8_t reg)
{
    const uint8_t temperature = readRegister(reg);
    const uint8_t hysteresis = readRegister(kCpuTempHysteresis);
    const uint8_t again = readRegister(reg);
    if (celsiusFromSignedByte(again) >= celsiusFromSignedByte(hysteresis)) {
        writeRegister(kCpuTempConfig, uint8_t(g_state.savedTempConfig & ~kCpuTempRearmBit));
        portio::os().sleepMs(kRearmPulseMs);
        writeRegister(kCpuTempConfig, g_state.savedTempConfig);
    }
    return temperature;
}

// Bit 0 of bank-0 register 0x5D switches the battery input on; its byte is in bank 5.
int32_t readBattery(const Variant& variant, const Row& row)
{
    switchBank(variant, kBank0);
    const uint8_t control = readRegister(kVbatControl);
    writeRegister(kVbatControl, uint8_t(control | kVbatEnable));
    switchBank(variant, kBank5);
    const uint8_t raw = readRegister(row.reg);
    switchBank(variant, kBank0);
    return boundedReading(millivoltsFromByte(raw, row.scale), row.bounds);
}

uint8_t voltageRegister(const Row& row)
{
    return row.alternateReg != kNoAlternate && g_state.vioAlternate ? row.alternateReg : row.reg;
}

int32_t coreMillivolts(const Row& row)
{
    const uint8_t raw = readRegister(row.reg);
    return boundedReading(g_state.vrm9 ? millivoltsVrm9FromByte(raw) : millivoltsFromByte(raw, row.scale),
                          row.bounds);
}

int32_t convert(const Variant& variant, const Row& row)
{
    switch (row.source) {
    case Source::Millivolts:
        return boundedReading(millivoltsFromByte(readRegister(voltageRegister(row)), row.scale), row.bounds);
    case Source::CoreMillivolts:
        return coreMillivolts(row);
    case Source::FanCount:
        return fanRpm(variant, row);
    case Source::Celsius:
        return celsiusFromSignedByte(readRegister(row.reg));
    case Source::CpuCelsius:
        return celsiusFromSignedByte(variant.rearm ? cpuTemperatureRearmed(row.reg) : readRegister(row.reg));
    case Source::BatteryMillivolts:
        break;
    }
    return 0;
}

bool returnsToBank0(const Row& row)
{
    return row.bank != kNoBank && (row.source == Source::Millivolts || row.source == Source::CpuCelsius);
}

int32_t readRow(const Variant& variant, const Row& row)
{
    if (row.source == Source::BatteryMillivolts)
        return readBattery(variant, row);
    if (row.bank != kNoBank)
        switchBank(variant, row.bank);
    const int32_t value = convert(variant, row);
    if (returnsToBank0(row))
        switchBank(variant, kBank0);
    return value;
}

const EhfChip* ehfChipOf(uint16_t superIoId)
{
    const uint16_t masked = superIoId & kSuperIoIdMask;
    for (const EhfChip& chip : kEhfChips)
        if (chip.superIoId == masked)
            return &chip;
    return nullptr;
}

// The first Super I/O that is one of the kernel's w83627ehf chips; configuration mode is
// left at every port tried.
const EhfChip* ehfChipOnBoard()
{
    for (uint32_t cfg : superio::kConfigPorts) {
        const superio::ConfigSession session(cfg);
        if (const EhfChip* chip = ehfChipOf(superio::chipId(cfg)))
            return chip;
    }
    return nullptr;
}

// Bank-2 0x52 bit 0 stops AUXTIN, the temperature input that shares input 0x26's pin.
bool auxtinStopped(const Variant& variant)
{
    switchBank(variant, kBank2);
    const bool stopped = readRegister(kCpuTempConfig) & kTempStopped;
    switchBank(variant, kBank0);
    return stopped;
}

// W83667HG-B: whether a temperature channel reads AUXTIN, as w83627ehf_probe works out
// in6_skip from the source registers: temperature 3 unless AUXTIN is stopped, temperature 4
// unless another channel already reads AUXTIN.
bool auxtinIsATemperatureSource(const Variant& variant)
{
    const bool stopped = auxtinStopped(variant);
    const uint8_t sources = readRegister(kTempSources);
    const uint8_t source1 = readRegister(kTemp1Source) >> 5;
    const uint8_t source2 = sources & 0x07;
    const uint8_t source3 = (sources >> 4) & 0x07;
    const uint8_t source4 = readRegister(kTemp4Source) & 0x07;
    const bool temperature3 = source3 == kAuxtinSource && !stopped;
    const bool temperature4 = source4 == kAuxtinSource && source1 != kAuxtinSource &&
                              source2 != kAuxtinSource && source3 != kAuxtinSource;
    return temperature3 || temperature4;
}

// A chip the Super I/O did not name keeps the input: nothing shows it absent.
bool hasVin3(const Variant& variant, const EhfChip* chip)
{
    if (!chip)
        return true;
    switch (chip->vin3) {
    case Vin3::Present:
        return true;
    case Vin3::Absent:
        return false;
    case Vin3::UnlessAuxtinRuns:
        return auxtinStopped(variant);
    case Vin3::UnlessAuxtinIsASource:
        return !auxtinIsATemperatureSource(variant);
    }
    return true;
}

// Readings of inputs the chip found does not have read 0 (w83627ehf_probe: scale_in,
// in_num, in6_skip). Reads only, apart from bank selection.
void dropAbsentInputs(const Variant& variant, ReadingTable& table)
{
    switch (variant.absentInputs) {
    case AbsentInputs::None:
        return;
    case AbsentInputs::AvccAt22:
        if (const EhfChip* chip = ehfChipOf(g_state.superIoId); chip && chip->avccAt22)
            table[P5V] = &ReadZero;
        return;
    case AbsentInputs::EhfFamilyC1:
        if (g_state.chipId != kChipIdWithoutInput9)
            return;
        table[N12V] = &ReadZero;
        if (!hasVin3(variant, ehfChipOnBoard()))
            table[P5V] = &ReadZero;
        return;
    }
}

template <const Variant& V>
bool detect()
{
    return detectVariant(V);
}

// The start bit first, then the readers and the inputs the chip lacks; then the
// processor-temperature channel is started in bank 1, where the re-arming variants keep
// 0x52 and stay.
template <const Variant& V>
void install(ReadingTable& table)
{
    startMonitoring(V);
    g_state.vrm9 = V.vrmModeRegister && (readRegister(kVrmModeRegister) & kVrm9);
    installRows<V>(table);
    dropAbsentInputs(V, table);
    switchBank(V, kBank1);
    g_state.savedTempConfig = startCpuTemperature();
    if (!V.rearm)
        switchBank(V, kBank0);
}

} // namespace

} // namespace gauge::chips::winbond

namespace gauge::chips {

const ChipFamily kWinbondE{"Winbond monitor behind a Super I/O 0xAx, chip ID 0xC1", &winbond::detect<winbond::kE>,
                           &winbond::install<winbond::kE>, GAUGE64_FOUND};
const ChipFamily kWinbondF{"Winbond W83781D monitor at 0x295", &winbond::detect<winbond::kF>,
                           &winbond::install<winbond::kF>, GAUGE64_FOUND_ALT};
const ChipFamily kWinbondG{"Winbond W83627HF/W83697HF monitor at logical device 0x0B", &winbond::detect<winbond::kG>,
                           &winbond::install<winbond::kG>, GAUGE64_FOUND};
const ChipFamily kWinbondH{"Winbond W83627THF/W83687THF monitor at logical device 0x0B", &winbond::detect<winbond::kH>,
                           &winbond::install<winbond::kH>, GAUGE64_FOUND};
const ChipFamily kWinbondI{"Winbond monitor at one of four ports, chip ID 0xA1 or 0xC1",
                           &winbond::detect<winbond::kI>, &winbond::install<winbond::kI>, GAUGE64_FOUND};

} // namespace gauge::chips
