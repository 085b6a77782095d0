// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The five Winbond variants through DLLInitial and the reading exports on simulated boards:
// the example boards' readings, conversions at their ceilings and windows, fan divisors,
// the processor-temperature re-arm, the battery reading and how the probes meet.

#include "board_fixture.h"
#include "chips_support.h"
#include "driver.h"
#include "gauge64.h"

#include <gtest/gtest.h>

using namespace chips_test;

namespace {

const char* const kE = "winbond-w83627dhg.json";
const char* const kEUhg = "winbond-w83627uhg.json";
const char* const kF = "winbond-w83781d-295.json";
const char* const kG = "winbond-w83627hf-290.json";
const char* const kGHot = "winbond-w83627hf-290-hot.json";
const char* const kH = "winbond-w83627thf-295.json";
const char* const kHVrm9 = "winbond-w83627thf-295-vrm9.json";
const char* const kHAtA30 = "winbond-w83687thf-a30.json";
const char* const kI = "winbond-w83627ehf.json";
const char* const kIHgB = "winbond-w83667hg-b.json";

class WinbondBoard : public testing::TestWithParam<BoardCase> {};

TEST_P(WinbondBoard, IsFoundAndReadsItsRegisterMap)
{
    expectBoardReadings(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, WinbondBoard,
    testing::Values(
        // No +5 V on a W83627DHG: input 0x22 is its analog supply.
        BoardCase{kE, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P12V", 12032},
                   {"Fan1", 2250}, {"Fan2", 1875}, {"CpuTemp", 45}, {"SysTemp", 34}}},
        // The W83627UHG's +5 V: DIV_ROUND_CLOSEST(150 × 3328, 100) = 4992 (w83627ehf in_from_reg).
        BoardCase{kEUhg, GAUGE64_FOUND,
                  {{"Vcore", 1120}, {"Vio", 3296}, {"P5V", 4992}, {"P12V", 12032},
                   {"Fan1", 2250}, {"Fan2", 1875}, {"CpuTemp", 43}, {"SysTemp", 31}}},
        BoardCase{kF, GAUGE64_FOUND_ALT,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P5V", 5008}, {"P12V", 12006}, {"N12V", 12001}, {"N5V", 5004},
                   {"Fan1", 2500}, {"Fan2", 1875}, {"CpuTemp", 42}, {"SysTemp", 33}}},
        BoardCase{kG, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P5V", 4999}, {"P12V", 11977}, {"N12V", 12034}, {"N5V", 4998},
                   {"Fan1", 2700}, {"Fan2", 2812}, {"CpuTemp", 48}, {"SysTemp", 36}}},
        BoardCase{kGHot, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P5V", 4999}, {"P12V", 11977}, {"N12V", 12034}, {"N5V", 4998},
                   {"Fan1", 2700}, {"Fan2", 2812}, {"CpuTemp", 78}, {"SysTemp", 41}}},
        BoardCase{kH, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P5V", 5013}, {"P12V", 11977},
                   {"Fan1", 2700}, {"Fan2", 1875}, {"CpuTemp", 44}, {"SysTemp", 38}}},
        // w83627hf: Vcore (164 × 488 + 70000 + 50) / 100 = 1500 (show_in_0, VRM9);
        // Fan1 1350000 / (20 × 32) = 2109, Fan2 1350000 / (225 × 2) = 3000 (FAN_FROM_REG).
        BoardCase{kHVrm9, GAUGE64_FOUND,
                  {{"Vcore", 1500}, {"Vio", 3296}, {"P5V", 5013}, {"P12V", 11977},
                   {"Fan1", 2109}, {"Fan2", 3000}, {"CpuTemp", 50}, {"SysTemp", 40}}},
        // The W83687THF's monitor where its logical device 0x0B puts it, at 0xA35.
        BoardCase{kHAtA30, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 3296}, {"P5V", 5013}, {"P12V", 11977},
                   {"Fan1", 2700}, {"Fan2", 1875}, {"CpuTemp", 45}, {"SysTemp", 37}}},
        BoardCase{kI, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 1648}, {"P5V", 4992}, {"P12V", 11985}, {"N12V", 12084}, {"N5V", 5024},
                   {"Fan1", 2500}, {"Fan2", 1687}, {"CpuTemp", 46}, {"SysTemp", 37}, {"PVbat", 3008}}},
        // No +5 V (input 0x26 is AUXTIN, a temperature) and no -12 V (no input 9) on the
        // W83667HG-B; Fan1 1350000 / (180 × 2) = 3750, Fan2 1350000 / (225 × 2) = 3000.
        BoardCase{kIHgB, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 1648}, {"P12V", 11985}, {"N5V", 5024},
                   {"Fan1", 3750}, {"Fan2", 3000}, {"CpuTemp", 44}, {"SysTemp", 36}, {"PVbat", 3008}}}));

class WinbondConversion : public testing::TestWithParam<RegisterCase> {};

// F, with chip-ID nibble 0x1 at 0x295, is found as the alternative; the others plainly.
TEST_P(WinbondConversion, GivesTheExpectedReading)
{
    const RegisterCase& c = GetParam();
    expectConversion(c, c.board == kF ? GAUGE64_FOUND_ALT : GAUGE64_FOUND);
}

// Where a ceiling or window lies beyond the raw byte's reach, the largest byte shows it.
const RegisterCase kConversions[] = {
    {"E_P12VAtCeiling", kE, {{0, 0x21, 156}}, "P12V", 19968},
    {"E_P12VAboveCeiling", kE, {{0, 0x21, 157}}, "P12V", 0}, // 20096
    {"E_P5VCeilingOutOfReach", kEUhg, {{0, 0x22, 255}}, "P5V", 8486},
    {"E_NoP5VOnDhgWhateverTheByte", kE, {{0, 0x22, 150}}, "P5V", 0},
    {"E_VcoreFullScale", kE, {{0, 0x20, 255}}, "Vcore", 2040},
    {"E_SysTempSigned", kE, {{0, 0x27, 0xFF}}, "SysTemp", -1},
    {"F_P5VCeilingOutOfReach", kF, {{0, 0x23, 255}}, "P5V", 6793},
    {"F_N12VBelowWindow", kF, {{0, 0x25, 161}}, "N12V", 0}, // 8987
    {"F_N12VInWindow", kF, {{0, 0x25, 162}}, "N12V", 9042},
    {"F_N12VFullScale", kF, {{0, 0x25, 255}}, "N12V", 14234},
    {"F_N5VBelowWindow", kF, {{0, 0x26, 145}}, "N5V", 0}, // 3488
    {"F_N5VInWindow", kF, {{0, 0x26, 146}}, "N5V", 3512},
    {"F_N5VFullScale", kF, {{0, 0x26, 255}}, "N5V", 6135},
    {"F_CpuTempSigned", kF, {{1, 0x50, 0x80}}, "CpuTemp", -128},
    {"G_N12VRawZero", kG, {{0, 0x25, 0}}, "N12V", 14914},
    {"G_N12VLowestInWindow", kG, {{0, 0x25, 71}}, "N12V", 9072},
    {"G_N12VBelowWindow", kG, {{0, 0x25, 72}}, "N12V", 0}, // 8989
    {"G_N12VFarBelowWindow", kG, {{0, 0x25, 80}}, "N12V", 0}, // 8331
    {"G_N5VRawZeroAboveWindow", kG, {{0, 0x26, 0}}, "N5V", 0}, // 7714
    {"G_N5VAboveWindow", kG, {{0, 0x26, 14}}, "N5V", 0}, // 7010
    {"G_N5VHighestInWindow", kG, {{0, 0x26, 15}}, "N5V", 6959},
    {"G_N5VInWindow", kG, {{0, 0x26, 16}}, "N5V", 6909},
    {"G_N5VLowestInWindow", kG, {{0, 0x26, 83}}, "N5V", 3540},
    {"G_N5VBelowWindow", kG, {{0, 0x26, 84}}, "N5V", 0}, // 3490
    {"G_CpuTemp7F", kG, {{1, 0x50, 0x7F}}, "CpuTemp", 127},
    // Two's complement as w83627hf reads them: (s8)0xF4 = -12 (TEMP_FROM_REG for 0x27,
    // LM75_TEMP_FROM_REG for the high byte of bank-1 0x50).
    {"G_CpuTempMinus12", kG, {{1, 0x50, 0xF4}}, "CpuTemp", -12},
    {"G_SysTempMinus12", kG, {{0, 0x27, 0xF4}}, "SysTemp", -12},
    {"G_CpuTemp80", kG, {{1, 0x50, 0x80}}, "CpuTemp", -128},
    {"G_SysTempFF", kG, {{0, 0x27, 0xFF}}, "SysTemp", -1},
    {"G_VioAlternateUnused", kG, {{0, 0x22, 100}}, "Vio", 3296},
    {"H_P5V", kH, {{0, 0x23, 255}}, "P5V", 6800},
    {"H_SysTempSigned", kH, {{0, 0x27, 0x80}}, "SysTemp", -128},
    // Core voltage: raw × 16 in VRM8 mode, (raw × 488 + 70000 + 50) / 100 in VRM9 mode
    // (w83627hf show_in_0): 0 gives 700, 1 gives 705, 255 gives 1944.
    {"H_VcoreVrm8", kH, {{0, 0x20, 164}}, "Vcore", 2624},
    {"H_VcoreVrm9Zero", kH, {{0, 0x18, 0x01}, {0, 0x20, 0}}, "Vcore", 700},
    {"H_VcoreVrm9One", kH, {{0, 0x18, 0x01}, {0, 0x20, 1}}, "Vcore", 705},
    {"H_VcoreVrm9FullScale", kH, {{0, 0x18, 0x81}, {0, 0x20, 255}}, "Vcore", 1944},
    {"H_VcoreVrm8WithOtherBits", kH, {{0, 0x18, 0xFE}, {0, 0x20, 100}}, "Vcore", 1600},
    {"I_N12VAboveWindow", kI, {{5, 0x52, 167}}, "N12V", 0}, // 15182
    {"I_N12VHighestInWindow", kI, {{5, 0x52, 168}}, "N12V", 14988},
    {"I_N12VLowestInWindow", kI, {{5, 0x52, 198}}, "N12V", 9180},
    {"I_N12VBelowWindow", kI, {{5, 0x52, 199}}, "N12V", 0}, // 8987
    {"I_N12VIsBank5", kI, {{0, 0x52, 168}}, "N12V", 12084},
    {"I_N5VAboveWindow", kI, {{0, 0x25, 168}}, "N5V", 0}, // 7104
    {"I_N5VExactlyAtTop", kI, {{0, 0x25, 169}}, "N5V", 7000},
    {"I_N5VInWindow", kI, {{0, 0x25, 170}}, "N5V", 6896},
    {"I_N5VLowestInWindow", kI, {{0, 0x25, 202}}, "N5V", 3568},
    {"I_N5VBelowWindow", kI, {{0, 0x25, 203}}, "N5V", 0}, // 3464
    {"I_P12V", kI, {{0, 0x21, 100}}, "P12V", 5280},
    {"I_P12VCeilingOutOfReach", kI, {{0, 0x21, 255}}, "P12V", 13464},
    {"I_P5V", kI, {{0, 0x26, 100}}, "P5V", 2560},
    {"I_BatteryFullScale", kI, {{5, 0x51, 255}}, "PVbat", 4080},
    {"I_BatteryZero", kI, {{5, 0x51, 0}}, "PVbat", 0},
    {"I_CpuTempSignedWhileRearming", kI, {{1, 0x50, 0xFF}}, "CpuTemp", -1},
    // Fan divisors belong to the count register: 0x28 takes 0x47 bits 5:4 and 0x5D bit 5,
    // 0x29 bits 7:6 and 0x5D bit 6 (w83627hf_update_fan_div, w83627ehf_update_fan_div; the
    // W83781D has no third bit). Expected: 1350000 / (count × divisor), FAN_FROM_REG.
    {"H_DivisorOneCount135", kH, {{0, 0x47, 0x00}, {0, 0x29, 135}}, "Fan1", 10000},
    {"H_CountFF", kH, {{0, 0x47, 0x00}, {0, 0x28, 0xFF}}, "Fan2", 0},
    {"F_CountZero", kF, {{0, 0x28, 0}}, "Fan1", 0},
    {"G_Fan1DivisorFromBits5To4", kG, {{0, 0x47, 0x30}, {0, 0x28, 100}}, "Fan1", 1687},
    {"G_Fan2DivisorFromBits7To6", kG, {{0, 0x47, 0x30}, {0, 0x29, 200}}, "Fan2", 6750},
    {"G_Fan1ThirdBit", kG, {{0, 0x5D, 0x20}, {0, 0x28, 10}}, "Fan1", 2109},  // 4 × 16 = 64
    {"G_Fan2ThirdBit", kG, {{0, 0x5D, 0x40}, {0, 0x29, 10}}, "Fan2", 4218},  // 2 × 16 = 32
    {"G_Fan1NotTheOtherThirdBit", kG, {{0, 0x5D, 0x40}, {0, 0x28, 10}}, "Fan1", 33750},
    {"H_Fan1DivisorFromBits7To6", kH, {{0, 0x47, 0xC0}, {0, 0x29, 100}}, "Fan1", 1687},
    {"H_Fan2DivisorFromBits5To4", kH, {{0, 0x47, 0xC0}, {0, 0x28, 100}}, "Fan2", 13500},
    {"H_Fan1ThirdBit", kH, {{0, 0x5D, 0x40}, {0, 0x29, 10}}, "Fan1", 4218},
    {"H_Fan2ThirdBit", kH, {{0, 0x5D, 0x20}, {0, 0x28, 10}}, "Fan2", 2109},
    {"F_NoThirdBit", kF, {{0, 0x5D, 0x60}, {0, 0x28, 10}}, "Fan1", 33750},
    {"E_Fan1ThirdBit", kE, {{0, 0x47, 0x00}, {0, 0x5D, 0x40}, {0, 0x29, 45}}, "Fan1", 1875},
    {"E_Fan1ThirdBitIsBank0", kE, {{0, 0x47, 0x00}, {1, 0x5D, 0x40}, {0, 0x29, 45}}, "Fan1", 30000},
    {"I_Fan1DivisorOf128", kI, {{0, 0x47, 0xC0}, {0, 0x5D, 0x40}, {0, 0x29, 2}}, "Fan1", 5273},
    {"I_Fan2DivisorOf128", kI, {{0, 0x47, 0x30}, {0, 0x5D, 0x20}, {0, 0x28, 3}}, "Fan2", 3515},
};

INSTANTIATE_TEST_SUITE_P(Edges, WinbondConversion, testing::ValuesIn(kConversions), caseName);

// Install leaves bank 1 selected on the re-arming variants (F returns to bank 0), and the
// vendor check leaves bit 7 of 0x4E clear. Waited switching keeps bits 7 and 3, direct
// switching bits 7 to 3; no probe clears the register outright.
TEST(WinbondInstall, LeavesTheBankRegisterTheProbeChainDependsOn)
{
    struct BankCase {
        const char* board;
        int before;
        int after;
    };
    const BankCase cases[] = {{kE, 0x80, 0x01}, {kE, 0xF8, 0x09}, {kF, 0xF8, 0x78},
                              {kG, 0xF8, 0x79}, {kH, 0xF8, 0x79}, {kI, 0xF8, 0x09}};
    for (const BankCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).firstMonitor({{0, 0x4E, c.before}}).json());
        ASSERT_LT(DLLInitial(), 256) << c.board;
        EXPECT_EQ(monitorBankRegister(0x295), c.after) << c.board << " from " << c.before;
    }
    BoardFixture board(BoardEdit::exampleBoard(kF).firstMonitor({{0, 0x4E, 0xF8}}).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND_ALT);
    CpuTemp(); // directly to bank 1 and back
    EXPECT_EQ(monitorBankRegister(0x295), 0x78);
}

// Temperatures in degrees, written to the registers as two's-complement bytes.
struct RearmCase {
    const char* board;
    int temperature;
    int hysteresis;
    bool rearms;
};

void PrintTo(const RearmCase& c, std::ostream* out)
{
    *out << c.board << " at " << c.temperature << " with hysteresis " << c.hysteresis;
}

class WinbondRearm : public testing::TestWithParam<RearmCase> {};

// Register 0x52 is saved at install as 0x42; a pulse writes 0x40, sleeps, restores 0x42.
// Bank-1 0x53 is the hysteresis (w83627hf_reg_temp_hyst), compared as a signed byte.
TEST_P(WinbondRearm, PulsesBit1OfTheTemperatureConfigurationAtOrAboveTheHysteresis)
{
    const RearmCase& c = GetParam();
    BoardFixture board(
        BoardEdit::exampleBoard(c.board)
            .firstMonitor({{1, 0x50, c.temperature & 0xFF}, {1, 0x53, c.hysteresis & 0xFF}, {1, 0x52, 0x42}})
            .json());
    ASSERT_LT(DLLInitial(), 256);
    board.clearTrace();
    EXPECT_EQ(CpuTemp(), c.temperature);
    const std::vector<int> firstCall = monitorRegistersSelected(board.trace(), 0x295);
    if (c.board == kF)
        EXPECT_EQ(firstCall, (std::vector<int>{0x50}));
    else if (c.rearms)
        EXPECT_EQ(firstCall, (std::vector<int>{0x50, 0x53, 0x50, 0x52, 0x52}));
    else
        EXPECT_EQ(firstCall, (std::vector<int>{0x50, 0x53, 0x50}));
    EXPECT_EQ(CpuTemp(), c.temperature);
    using Writes = std::vector<std::string>;
    const Writes once = c.rearms ? Writes{"bank 1", "0x52=0x40", "sleep 10", "0x52=0x42", "bank 0"}
                                 : Writes{"bank 1", "bank 0"};
    Writes twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(monitorWrites(board.trace(), 0x295), twice);
}

INSTANTIATE_TEST_SUITE_P(Variants, WinbondRearm,
                         testing::Values(RearmCase{kE, 80, 80, true}, RearmCase{kE, 79, 80, false},
                                         RearmCase{kGHot, 78, 75, true}, RearmCase{kG, 48, 80, false},
                                         RearmCase{kH, 100, 90, true}, RearmCase{kH, 89, 90, false},
                                         RearmCase{kI, 85, 85, true}, RearmCase{kI, 0, 1, false},
                                         RearmCase{kF, 90, 80, false},
                                         // Below 0 C: under a positive hysteresis, over a negative one.
                                         RearmCase{kE, -5, 80, false}, RearmCase{kG, -128, 75, false},
                                         RearmCase{kH, 0, -10, true}, RearmCase{kI, -15, -16, true},
                                         RearmCase{kI, -16, -15, false}, RearmCase{kGHot, 127, -128, true}));

// The writes made at install to one register, as monitorWrites lists them.
std::vector<std::string> installWritesTo(const BoardFixture& board, const char* reg)
{
    std::vector<std::string> writes;
    for (const std::string& write : monitorWrites(board.trace(), 0x295))
        if (write.rfind(reg, 0) == 0)
            writes.push_back(write);
    return writes;
}

// Register 0x40 keeps what the firmware set: w83627ehf_init_device (E, I) only adds the
// start bit; w83627hf_init_device and w83781d_init_device (F, G, H) compute
// (value & 0xF7) | 0x01. A register that already holds the result is not written.
TEST(WinbondInstall, StartBitIsSetWithoutClearingTheFirmwaresBits)
{
    struct StartCase {
        const char* board;
        int before;
        std::vector<std::string> writes;
    };
    const StartCase cases[] = {
        {kE, 0x0A, {"0x40=0x0B"}}, {kI, 0x0A, {"0x40=0x0B"}}, {kE, 0x03, {}},
        {kF, 0x0A, {"0x40=0x03"}}, {kG, 0x0A, {"0x40=0x03"}}, {kH, 0x09, {"0x40=0x01"}},
        {kG, 0x01, {}},            {kH, 0x43, {}},
    };
    for (const StartCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).firstMonitor({{0, 0x40, c.before}}).json());
        ASSERT_LT(DLLInitial(), 256) << c.board;
        EXPECT_EQ(installWritesTo(board, "0x40="), c.writes) << c.board << " from " << c.before;
    }
}

// A firmware may leave the processor-temperature channel stopped (bank-1 0x52 bit 0 set),
// which freezes its reading; install starts it as the kernel's init functions do
// (w83627ehf_init_device, w83627hf_init_device, w83781d_init_device: tmp & 0xFE when bit 0
// is set), and the re-arm pulse then restores the running value.
TEST(WinbondInstall, StartsAStoppedProcessorTemperatureChannel)
{
    struct StoppedCase {
        const char* board;
        int config;
        std::vector<std::string> writes;
    };
    const StoppedCase cases[] = {
        {kE, 0x03, {"0x52=0x02"}}, {kF, 0x03, {"0x52=0x02"}}, {kG, 0x01, {"0x52=0x00"}},
        {kH, 0x83, {"0x52=0x82"}}, {kI, 0x03, {"0x52=0x02"}}, {kI, 0x02, {}},
    };
    for (const StoppedCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).firstMonitor({{1, 0x52, c.config}}).json());
        ASSERT_LT(DLLInitial(), 256) << c.board;
        EXPECT_EQ(installWritesTo(board, "0x52="), c.writes) << c.board << " from " << c.config;
    }
    // At the alarm limit the pulse goes from and back to the running value.
    BoardFixture board(
        BoardEdit::exampleBoard(kE).firstMonitor({{1, 0x52, 0x03}, {1, 0x50, 90}, {1, 0x53, 80}}).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    board.clearTrace();
    EXPECT_EQ(CpuTemp(), 90);
    EXPECT_EQ(installWritesTo(board, "0x52="), (std::vector<std::string>{"0x52=0x00", "0x52=0x02"}));
}

TEST(WinbondBattery, EnablesTheInputInBank0AndReadsBank5)
{
    BoardFixture board(BoardEdit::exampleBoard(kI).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    board.clearTrace();
    EXPECT_EQ(PVbat(), 3008);
    EXPECT_EQ(monitorWrites(board.trace(), 0x295),
              (std::vector<std::string>{"bank 0", "0x5D=0x21", "bank 5", "bank 0"}));
}

// Voltage readers of E and I return to bank 0; F, G and H read the unbanked voltage bytes
// where they stand; fans and the system temperature only select bank 0 before the read,
// and F's fans not at all (no third divisor bit in the banked 0x5D).
TEST(WinbondBanks, VoltageFanAndTemperatureReadersSelectTheirBanks)
{
    using Writes = std::vector<std::string>;
    struct BankCase {
        const char* board;
        int32_t (*reading)();
        Writes writes;
    };
    const BankCase cases[] = {
        {kI, N12V, {"bank 5", "bank 0"}}, {kI, Vcore, {"bank 0", "bank 0"}}, {kE, P12V, {"bank 0", "bank 0"}},
        {kE, Fan1, {"bank 0"}},           {kI, SysTemp, {"bank 0"}},         {kG, Vcore, {}},
        {kH, Fan2, {"bank 0"}},           {kF, Fan1, {}},                    {kF, SysTemp, {}},
    };
    for (const BankCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).json());
        ASSERT_LT(DLLInitial(), 256);
        board.clearTrace();
        c.reading();
        EXPECT_EQ(monitorWrites(board.trace(), 0x295), c.writes) << c.board;
    }
}

// Direct bank switching (F, G, H) is four plain port accesses: no busy check of the address
// port and no delay reads of port 0xEB.
TEST(WinbondBanks, DirectSwitchIsFourPlainAccesses)
{
    BoardFixture board(BoardEdit::exampleBoard(kF).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND_ALT);
    board.clearTrace();
    CpuTemp();
    const std::vector<std::string> lines = board.trace();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "out 0x295 0x4e");
    EXPECT_EQ(lines[1].rfind("in 0x296 ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "out 0x295 0x4e");
    EXPECT_EQ(lines[3], "out 0x296 0x1");
}

// A Super I/O at 0x2E with device ID `superIoId` whose logical device 0x0B puts the monitor
// at `base`, and Winbond monitors at the given ports with the given chip IDs. Each reads 206
// in 0x21 and 210 in 0x22, so Vio is 3296 from 0x21 or 3360 from 0x22.
std::string superIoWithMonitors(int superIoId, int base, const std::vector<std::pair<int, int>>& monitors)
{
    BoardEdit edit = BoardEdit::fromJson("{}")
                         .superIoGlobal(0x2E, 0x20, superIoId)
                         .superIoDevice(0x2E, 0x0B, 0x30, 0x01)
                         .superIoDevice(0x2E, 0x0B, 0x60, base >> 8)
                         .superIoDevice(0x2E, 0x0B, 0x61, base & 0xFF);
    for (const auto& [port, chipId] : monitors)
        edit.monitorIdentity(port, 0x5CA3, "partial")
            .monitor(port, {{0, 0x58, chipId}, {0, 0x20, 75}, {0, 0x21, 206}, {0, 0x22, 210}});
    return edit.json();
}

// The monitor logical device 0x0B names decides, whatever answers at other ports: a
// W83697HF (nibble 0x6) reads Vio from 0x22.
TEST(WinbondProbe, VioAlternateFollowsTheChipIdOfTheMonitorTaken)
{
    struct VioCase {
        const char* what;
        std::string board;
        int32_t vio;
    };
    const VioCase cases[] = {
        {"W83627HF at base 0x290", superIoWithMonitors(0x52, 0x290, {{0x295, 0x21}}), 3296},
        {"W83697HF at base 0x2C0", superIoWithMonitors(0x60, 0x2C0, {{0x2C5, 0x60}}), 3360},
        {"0x2C0 named, nibble 0x2 also at 0x295", superIoWithMonitors(0x60, 0x2C0, {{0x295, 0x21}, {0x2C5, 0x60}}),
         3360},
        {"0x2C0 named, nibble 0x6 also at 0x295", superIoWithMonitors(0x52, 0x2C0, {{0x295, 0x60}, {0x2C5, 0x21}}),
         3296},
    };
    for (const VioCase& c : cases) {
        BoardFixture board(c.board);
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND) << c.what;
        EXPECT_EQ(Vio(), c.vio) << c.what;
    }
}

// The mark belongs to one probe: initialising again on a board without nibble 0x6 reads 0x21.
TEST(WinbondProbe, VioAlternateDoesNotOutliveItsProbe)
{
    {
        BoardFixture board(superIoWithMonitors(0x60, 0x290, {{0x295, 0x60}}));
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        ASSERT_EQ(Vio(), 3360);
    }
    BoardFixture board(superIoWithMonitors(0x52, 0x290, {{0x295, 0x21}}));
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(Vio(), 3296);
}

TEST(WinbondProbe, W83781DAt295IsTakenByFBeforeGAndH)
{
    // A W83627HF whose logical device 0x0B names 0x2C0 would satisfy G, which is never tried.
    BoardFixture board(superIoWithMonitors(0x52, 0x2C0, {{0x295, 0x11}, {0x2C5, 0x21}}));
    EXPECT_EQ(DLLInitial(), GAUGE64_FOUND_ALT);
    EXPECT_EQ(Vcore(), 1200); // reg 0x20 × 16
}

// w83781d_isa_found takes chip IDs 0x10 and 0x11 ((id & 0xFE) == 0x10), no other 0x1x.
TEST(WinbondProbe, FTakesChipIds10And11)
{
    const std::pair<int, int32_t> cases[] = {{0x10, GAUGE64_FOUND_ALT}, {0x11, GAUGE64_FOUND_ALT},
                                             {0x12, GAUGE64_NO_CHIP},   {0x18, GAUGE64_NO_CHIP},
                                             {0x1F, GAUGE64_NO_CHIP}};
    for (const auto& [chipId, status] : cases) {
        BoardFixture board(BoardEdit::exampleBoard(kF).firstMonitor({{0, 0x58, chipId}}).json());
        EXPECT_EQ(DLLInitial(), status) << std::hex << chipId;
    }
}

// G and H find their monitor where logical device 0x0B of a W83627HF-family Super I/O puts
// it (w83627hf_find: device ID in register 0x20, base & ~7, + 5), at 0x4E or 0x2E; a monitor
// at 0x295 that no such device names is not read.
TEST(WinbondProbe, GAndHTakeTheMonitorLogicalDevice0BNames)
{
    struct LocateCase {
        const char* what;
        BoardEdit board;
        int32_t status;
        int32_t vcore;
    };
    const LocateCase cases[] = {
        {"W83627HF, base with low bits 0x297", BoardEdit::exampleBoard(kG).superIoDevice(0x2E, 0x0B, 0x61, 0x97),
         GAUGE64_FOUND, 1200},
        {"W83697HF device ID", BoardEdit::exampleBoard(kG).superIoGlobal(0x2E, 0x20, 0x60), GAUGE64_FOUND, 1200},
        {"W83687THF device ID", BoardEdit::exampleBoard(kH).superIoGlobal(0x2E, 0x20, 0x85), GAUGE64_FOUND, 1200},
        {"Super I/O at 0x4E",
         BoardEdit::exampleBoard(kH)
             .withoutSuperIo(0x2E)
             .superIoGlobal(0x4E, 0x20, 0x82)
             .superIoDevice(0x4E, 0x0B, 0x30, 0x01)
             .superIoDevice(0x4E, 0x0B, 0x60, 0x02)
             .superIoDevice(0x4E, 0x0B, 0x61, 0x90),
         GAUGE64_FOUND, 1200},
        {"no Super I/O in front", BoardEdit::exampleBoard(kG).withoutSuperIo(0x2E), GAUGE64_NO_CHIP, 0},
        {"base names an empty 0x2A5", BoardEdit::exampleBoard(kH).superIoDevice(0x2E, 0x0B, 0x61, 0xA0),
         GAUGE64_NO_CHIP, 0},
        {"H's monitor behind a W83627HF Super I/O", BoardEdit::exampleBoard(kH).superIoGlobal(0x2E, 0x20, 0x52),
         GAUGE64_NO_CHIP, 0},
        {"G's monitor behind a W83627THF Super I/O", BoardEdit::exampleBoard(kG).superIoGlobal(0x2E, 0x20, 0x82),
         GAUGE64_NO_CHIP, 0},
    };
    for (const LocateCase& c : cases) {
        BoardFixture board(c.board.json());
        EXPECT_EQ(DLLInitial(), c.status) << c.what;
        EXPECT_EQ(Vcore(), c.vcore) << c.what;
    }
}

TEST(WinbondProbe, WhichVariantTakesWhichMonitor)
{
    struct ProbeCase {
        const char* what;
        BoardEdit board;
        int32_t status;
        int32_t vio; // tells E (0x25 × 16), I (0x24 × 8), G (0x21 × 16) and H (0x21 × 16) apart
    };
    const ProbeCase cases[] = {
        // Chip ID 0xC1 without a Super I/O 0xAx in front: E declines, I takes it.
        {"E needs its Super I/O", BoardEdit::exampleBoard(kE).superIoGlobal(0x2E, 0x20, 0x52).firstMonitor({{0, 0x24, 206}}),
         GAUGE64_FOUND, 1648},
        {"E's Super I/O may sit at 0x4E",
         BoardEdit::exampleBoard(kE).withoutSuperIo(0x2E).superIoGlobal(0x4E, 0x20, 0xAF), GAUGE64_FOUND, 3296},
        {"E takes the first candidate that answers",
         BoardEdit::exampleBoard(kE)
             .firstMonitor({{0, 0x58, 0x00}})
             .monitorIdentity(0xA15, 0x5CA3, "partial")
             .monitor(0xA15, {{0, 0x58, 0xC1}, {0, 0x25, 100}})
             .monitorIdentity(0x225, 0x5CA3, "partial")
             .monitor(0x225, {{0, 0x58, 0xC1}, {0, 0x25, 110}}),
         GAUGE64_FOUND, 1760},
        {"I at its last candidate 0xE85", BoardEdit::fromJson(R"({"monitors":[{"port":"0xE85","banking":"partial",
            "vendor_id":"0x5CA3","registers":{"0":{"0x58":"0xC1","0x24":200}}}]})"),
         GAUGE64_FOUND, 1600},
        {"no vendor ID, no chip", BoardEdit::exampleBoard(kH).firstMonitor({{0, 0x58, 0x00}}), GAUGE64_NO_CHIP, 0},
    };
    for (const ProbeCase& c : cases) {
        BoardFixture board(c.board.json());
        EXPECT_EQ(DLLInitial(), c.status) << c.what;
        EXPECT_EQ(Vio(), c.vio) << c.what;
    }
}

// Another program (or the firmware) writes monitor register `reg` in bank 0 through the
// same ports, as a fan-control tool changing a divisor would.
void otherProgramWrites(uint32_t addrPort, int reg, int value)
{
    gauge::PortOut(addrPort, 0x4E);
    const uint8_t bank = gauge::PortIn(addrPort + 1);
    gauge::PortOut(addrPort + 1, uint8_t(bank & 0xF8));
    gauge::PortOut(addrPort, uint8_t(reg));
    gauge::PortOut(addrPort + 1, uint8_t(value));
}

// The divisor is read with every fan reading, as the kernel's update functions re-read it,
// so a divisor changed after install is followed. Expected: 1350000 / (count × divisor).
TEST(WinbondFans, FollowADivisorChangedAfterInstall)
{
    struct DivisorCase {
        const char* what;
        const char* board;
        int32_t (*reading)();
        int32_t before;
        int reg;
        int value;
        int32_t after;
    };
    const DivisorCase cases[] = {
        // 0x47 0xB0 → 0x29's bits 7:6 give 4; 0x5D bit 6 adds the third bit: 64.
        {"E third bit set", kE, Fan1, 2250, 0x5D, 0x40, 140},      // 1350000 / (150 × 64)
        {"F divisor 4 to 1", kF, Fan2, 1875, 0x47, 0x20, 7500},    // 1350000 / (180 × 1)
        {"G third bit set", kG, Fan2, 2812, 0x5D, 0x40, 175},      // 1350000 / (240 × 32)
        {"H divisor 2 to 4", kH, Fan1, 2700, 0x47, 0xA0, 1350},    // 1350000 / (250 × 4)
        {"I third bit cleared", kI, Fan2, 1687, 0x5D, 0x00, 27000}, // 1350000 / (25 × 2)
    };
    for (const DivisorCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).json());
        ASSERT_LT(DLLInitial(), 256) << c.what;
        ASSERT_EQ(c.reading(), c.before) << c.what;
        otherProgramWrites(0x295, c.reg, c.value);
        EXPECT_EQ(c.reading(), c.after) << c.what;
    }
}

// A board's JSON with the monitor moved from 0x295 to `port`, out of E's candidate ports.
std::string movedMonitor(const BoardEdit& edit, const std::string& port)
{
    std::string json = edit.json();
    const std::string from = R"("port":"0x295")";
    json.replace(json.find(from), from.size(), R"("port":")" + port + R"(")");
    return json;
}

// I on a monitor with chip ID 0xC1 (W83627DHG, DHG-P, UHG, W83667HG, HG-B): none has
// input 9, so no -12 V; input 0x26 is read as +5 V only where w83627ehf_probe keeps in6:
// not on the UHG, not where it is AUXTIN on the W83667HG/HG-B, and kept where no Super I/O
// names the chip. A +5 V byte of 195 reads 1560 / 0.3125 = 4992.
TEST(WinbondInputs, IOnChipId0xC1ReadsOnlyTheInputsTheChipHas)
{
    struct InputCase {
        const char* what;
        std::string board;
        int32_t p5v;
        int32_t n12v;
    };
    const BoardEdit hgB = BoardEdit::exampleBoard(kIHgB);
    const BoardEdit hgBAuxtinStopped = BoardEdit::exampleBoard(kIHgB).firstMonitor({{2, 0x52, 0x01}});
    const InputCase cases[] = {
        {"W83667HG-B, temperature 3 on AUXTIN", hgB.json(), 0, 0},
        {"W83667HG-B, AUXTIN stopped", hgBAuxtinStopped.json(), 4992, 0},
        {"W83667HG-B, temperature 4 on AUXTIN",
         BoardEdit::exampleBoard(kIHgB).firstMonitor({{0, 0x49, 0x01}, {0, 0x7D, 0x02}}).json(), 0, 0},
        {"W83667HG-B, AUXTIN already temperature 2",
         BoardEdit::exampleBoard(kIHgB).firstMonitor({{0, 0x49, 0x02}, {0, 0x7D, 0x02}}).json(), 4992, 0},
        {"W83627DHG-P",
         BoardEdit::exampleBoard(kIHgB).superIoGlobal(0x2E, 0x20, 0xB0).superIoGlobal(0x2E, 0x21, 0x73).json(), 4992,
         0},
        {"W83667HG at 0xE85, AUXTIN running",
         movedMonitor(BoardEdit::exampleBoard(kIHgB).superIoGlobal(0x2E, 0x20, 0xA5).superIoGlobal(0x2E, 0x21, 0x13),
                      "0xE85"),
         0, 0},
        {"W83667HG at 0xE85, AUXTIN stopped",
         movedMonitor(BoardEdit::exampleBoard(kIHgB)
                          .firstMonitor({{2, 0x52, 0x01}})
                          .superIoGlobal(0x2E, 0x20, 0xA5)
                          .superIoGlobal(0x2E, 0x21, 0x13),
                      "0xE85"),
         4992, 0},
        {"W83627UHG at 0xE85",
         movedMonitor(BoardEdit::exampleBoard(kIHgB).superIoGlobal(0x2E, 0x20, 0xA2).superIoGlobal(0x2E, 0x21, 0x32),
                      "0xE85"),
         0, 0},
        {"no Super I/O names the chip", BoardEdit::exampleBoard(kIHgB).withoutSuperIo(0x2E).json(), 4992, 0},
        {"W83627EHG: chip ID 0xA1 has input 9", BoardEdit::exampleBoard(kI).json(), 4992, 12084},
    };
    for (const InputCase& c : cases) {
        BoardFixture board(c.board);
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND) << c.what;
        EXPECT_EQ(P5V(), c.p5v) << c.what;
        EXPECT_EQ(N12V(), c.n12v) << c.what;
        EXPECT_EQ(Vio(), 1648) << c.what; // read by I, not E
    }
}

} // namespace
