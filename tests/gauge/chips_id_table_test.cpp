// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The two chip-ID-table variants through DLLInitial and the reading exports on simulated
// boards: the example boards' readings, the reduced register layout, conversions at their
// ceilings, the chip-ID tables and the state the detection leaves.

#include "board_fixture.h"
#include "chips_support.h"
#include "gauge64.h"

#include <gtest/gtest.h>

using namespace chips_test;

namespace {

const char* const kJ = "chipid-c452.json";
const char* const kK = "chipid-d282.json";

const std::map<std::string, int32_t> kJReadings = {{"Vcore", 1200}, {"Vio", 1648},    {"P5V", 5003},
                                                   {"P12V", 12000}, {"Fan1", 2500},   {"Fan2", 1750},
                                                   {"CpuTemp", 47}, {"SysTemp", 35}};

TEST(ChipIdBoard, JReadsBank3AndFansInBank0)
{
    expectBoardReadings({kJ, GAUGE64_FOUND, kJReadings});
}

TEST(ChipIdBoard, JWithMarker75ReadsTheReducedSet)
{
    BoardFixture board(BoardEdit::exampleBoard(kJ).firstMonitor({{3, 0x13, 0x75}}).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(readAll(), withZeros({{"Vcore", 1200}, {"Vio", 1632}, {"Fan1", 2500}, {"Fan2", 1750},
                                    {"CpuTemp", 47}, {"SysTemp", 35}}));
}

// K's fans are 13-bit counts as nct6775 reads the NCT6116: 1350000 / 450 = 3000 and
// 1350000 / 750 = 1800.
TEST(ChipIdBoard, KReadsBank0)
{
    expectBoardReadings({kK, GAUGE64_FOUND,
                         {{"Vcore", 1200}, {"Vio", 1648}, {"P5V", 5003}, {"P12V", 11968},
                          {"Fan1", 3000}, {"Fan2", 1800}, {"CpuTemp", 49}, {"SysTemp", 36}}});
}

class ChipIdConversion : public testing::TestWithParam<RegisterCase> {};

TEST_P(ChipIdConversion, GivesTheExpectedReading)
{
    expectConversion(GetParam(), GAUGE64_FOUND);
}

const RegisterCase kConversions[] = {
    {"J_P5V237", kJ, {{3, 0x01, 237}}, "P5V", 9964},
    {"J_P5VCeilingOutOfReach", kJ, {{3, 0x01, 255}}, "P5V", 10720},
    {"J_P12VAtCeiling", kJ, {{3, 0x04, 208}}, "P12V", 19968},
    {"J_P12VAboveCeiling", kJ, {{3, 0x04, 209}}, "P12V", 0}, // 20064
    {"J_VcoreFullScale", kJ, {{3, 0x00, 255}}, "Vcore", 2040},
    {"J_VcoreIsBank3", kJ, {{0, 0x00, 100}}, "Vcore", 1200},
    {"J_CpuTempSigned", kJ, {{3, 0x0D, 0xFF}}, "CpuTemp", -1},
    {"J_SysTempSigned", kJ, {{3, 0x0C, 0x80}}, "SysTemp", -128},
    {"K_P12VAtCeiling", kK, {{0, 0x04, 227}}, "P12V", 19976},
    {"K_P12VAboveCeiling", kK, {{0, 0x04, 228}}, "P12V", 0}, // 20064
    {"K_P5VCeilingOutOfReach", kK, {{0, 0x01, 255}}, "P5V", 10720},
    {"K_Temperature7F", kK, {{0, 0x19, 0x7F}}, "CpuTemp", 127},
    // K: count = high << 5 | (low & 0x1F), 1350000 / count (fan_from_reg13).
    {"K_Fan1IsTheSecondCount", kK, {{0, 0x22, 0x0B}, {0, 0x23, 0x04}}, "Fan1", 3792}, // 356
    {"K_Fan2IsTheFirstCount", kK, {{0, 0x20, 0x01}, {0, 0x21, 0x00}}, "Fan2", 42187}, // 32
    {"K_FanLowByteTopBitsIgnored", kK, {{0, 0x22, 0x0E}, {0, 0x23, 0xE2}}, "Fan1", 3000},
    {"K_FanSlowestCount", kK, {{0, 0x20, 0xFF}, {0, 0x21, 0x1E}}, "Fan2", 164}, // 8190
    {"K_FanAllOnesIsStopped", kK, {{0, 0x20, 0xFF}, {0, 0x21, 0x1F}}, "Fan2", 0},
    {"K_FanZero", kK, {{0, 0x20, 0x00}, {0, 0x21, 0x00}}, "Fan2", 0},
    {"K_FanIsNotAnRpmWord", kK, {{0, 0x32, 0x07}, {0, 0x33, 0xD0}}, "Fan1", 3000},
    {"J_FanAllOnesHasNoRangeTest", kJ, {{0, 0x30, 0xFF}, {0, 0x31, 0xFF}}, "Fan2", 65535},
    {"J_FanIsBank0", kJ, {{3, 0x32, 0x00}, {3, 0x33, 0x10}}, "Fan1", 2500},
};

INSTANTIATE_TEST_SUITE_P(Edges, ChipIdConversion, testing::ValuesIn(kConversions), caseName);

TEST(ChipIdProbe, ChipIdTables)
{
    struct IdCase {
        int high;
        int low;
        int32_t status;
        int32_t p12v; // J: 125 × 96.0, K: 125 × 88.0
    };
    for (const IdCase& c : {IdCase{0x10, 0x61, GAUGE64_FOUND, 12000}, IdCase{0xC4, 0x52, GAUGE64_FOUND, 12000},
                            IdCase{0xC4, 0x53, GAUGE64_FOUND, 12000}, IdCase{0xD2, 0x82, GAUGE64_FOUND, 11000},
                            IdCase{0xC4, 0x51, GAUGE64_NO_CHIP, 0}, IdCase{0xC4, 0x54, GAUGE64_NO_CHIP, 0},
                            IdCase{0xD2, 0x83, GAUGE64_NO_CHIP, 0}, IdCase{0x61, 0x10, GAUGE64_NO_CHIP, 0}}) {
        // Both layouts on one monitor: J reads bank 3, K bank 0.
        BoardFixture board(BoardEdit::exampleBoard(kJ)
                               .superIoGlobal(0x2E, 0x20, c.high)
                               .superIoGlobal(0x2E, 0x21, c.low)
                               .firstMonitor({{0, 0x04, 125}})
                               .json());
        EXPECT_EQ(DLLInitial(), c.status) << std::hex << c.high << c.low;
        EXPECT_EQ(P12V(), c.p12v) << std::hex << c.high << c.low;
    }
}

// J and K lock the Super I/O again once the monitor's port is known; J leaves the monitor
// in bank 3.
TEST(ChipIdProbe, DetectionLocksTheSuperIoAgainAndLeavesTheBankAsItChose)
{
    struct StateCase {
        const char* board;
        uint32_t addrPort;
        int bank;
    };
    for (const StateCase& c : {StateCase{kJ, 0x295, 3}, StateCase{kK, 0xA25, 0}}) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        EXPECT_FALSE(superIoInConfigMode(0x2E)) << c.board;
        EXPECT_EQ(monitorBankRegister(c.addrPort) & 0x07, c.bank) << c.board;
    }
}

// nct6775_find aligns the base with ~7: 0xA28 gives the pair 0xA2D, not 0xA25.
TEST(ChipIdProbe, MonitorBaseDropsItsThreeLowBits)
{
    BoardFixture board(BoardEdit::exampleBoard(kK)
                           .superIoDevice(0x2E, 0x0B, 0x61, 0x28)
                           .monitorIdentity(0xA2D, 0, "full")
                           .monitor(0xA2D, {{0, 0x00, 100}})
                           .json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(Vcore(), 800);
}

TEST(ChipIdProbe, ChipAt4EOr2E)
{
    // At 0x4E alone.
    {
        BoardFixture board(BoardEdit::exampleBoard(kK)
                               .withoutSuperIo(0x2E)
                               .superIoGlobal(0x4E, 0x20, 0xD2)
                               .superIoGlobal(0x4E, 0x21, 0x82)
                               .superIoDevice(0x4E, 0x0B, 0x30, 0x01)
                               .superIoDevice(0x4E, 0x0B, 0x60, 0x0A)
                               .superIoDevice(0x4E, 0x0B, 0x61, 0x20)
                               .json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        EXPECT_EQ(Fan1(), 3000);
    }
    // At 0x2E behind another maker's chip at 0x4E, which is locked again.
    BoardFixture board(
        BoardEdit::exampleBoard(kJ).superIoGlobal(0x4E, 0x20, 0x85).superIoGlobal(0x4E, 0x21, 0x11).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(Vcore(), 1200);
    EXPECT_FALSE(superIoInConfigMode(0x4E));
}

// Monitor access without the busy wait: the address port is written, never read, and the
// bank is chosen before every read (and left at 0 after voltages and temperatures).
TEST(ChipIdReaders, SelectTheirBankWithoutWaiting)
{
    using Writes = std::vector<std::string>;
    struct BankCase {
        const char* board;
        int32_t (*reading)();
        Writes writes;
    };
    const BankCase cases[] = {{kJ, Vcore, {"bank 3", "bank 0"}}, {kJ, CpuTemp, {"bank 3", "bank 0"}},
                              {kJ, Fan1, {"bank 0"}},            {kK, P12V, {"bank 0", "bank 0"}},
                              {kK, Fan2, {"bank 0"}}};
    for (const BankCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        board.clearTrace();
        c.reading();
        const uint32_t addrPort = c.board == kJ ? 0x295 : 0xA25;
        EXPECT_EQ(monitorWrites(board.trace(), addrPort), c.writes) << c.board;
        char busyCheck[32];
        std::snprintf(busyCheck, sizeof busyCheck, "in 0x%x ", addrPort);
        EXPECT_TRUE(board.traced(busyCheck).empty()) << c.board;
    }
}

} // namespace
