// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The four Fintek variants through DLLInitial and the reading exports on simulated boards:
// the example boards' readings, conversions at their edges, and how the probes meet.

#include "board_fixture.h"
#include "chips_support.h"
#include "gauge64.h"

#include <gtest/gtest.h>

using namespace chips_test;

namespace {

const char* const kA = "fintek-f81866.json";
const char* const kB = "fintek-f81865.json";
const char* const kC = "fintek-f71889.json";
const char* const kD = "fintek-f81966-without-device-11.json";

class FintekBoard : public testing::TestWithParam<BoardCase> {};

TEST_P(FintekBoard, IsFoundAndReadsItsRegisterMap)
{
    expectBoardReadings(GetParam());
}

// Each board also carries the registers the other variants would read, so a variant
// reading the wrong map shows.
INSTANTIATE_TEST_SUITE_P(
    Examples, FintekBoard,
    testing::Values(
        BoardCase{kA, GAUGE64_FOUND,
                  {{"Vcore", 1200}, {"Vio", 1648}, {"P5V", 5003}, {"P12V", 11968},
                   {"Fan1", 2400}, {"Fan2", 1800}, {"CpuTemp", 44}, {"SysTemp", 33}}},
        BoardCase{kB, GAUGE64_FOUND,
                  {{"Vcore", 1240}, {"Vio", 1648}, {"P5V", 5045}, {"P12V", 12056},
                   {"Fan1", 2142}, {"Fan2", 1500}, {"CpuTemp", 41}, {"SysTemp", 30}}},
        BoardCase{kC, GAUGE64_FOUND,
                  {{"Vcore", 1184}, {"Vio", 3312}, {"Fan1", 2500}, {"Fan2", 1666}, {"CpuTemp", 47}, {"SysTemp", 35}}},
        BoardCase{kD, GAUGE64_FOUND,
                  {{"Vcore", 1216}, {"Vio", 3320}, {"Fan1", 2400}, {"Fan2", 1875}, {"CpuTemp", 45}, {"SysTemp", 34}}}));

class FintekConversion : public testing::TestWithParam<RegisterCase> {};

TEST_P(FintekConversion, GivesTheExpectedReading)
{
    expectConversion(GetParam(), GAUGE64_FOUND);
}

const RegisterCase kConversions[] = {
    {"P5VAtCeiling", kA, {{0, 0x22, 237}}, "P5V", 9964},
    {"P5VAboveCeiling", kA, {{0, 0x22, 238}}, "P5V", 0}, // 10006
    {"P12VAtCeiling", kB, {{0, 0x23, 227}}, "P12V", 19976},
    {"P12VAboveCeiling", kB, {{0, 0x23, 228}}, "P12V", 0}, // 20064
    {"VcoreHasNoCeiling", kA, {{0, 0x21, 255}}, "Vcore", 2040},
    {"VioSixteenHasNoCeiling", kC, {{0, 0x22, 255}}, "Vio", 4080},
    {"VioFortyHasNoCeiling", kD, {{0, 0x22, 255}}, "Vio", 10200},
    {"FanCountOne", kA, {{0, 0xA0, 0x00}, {0, 0xA1, 0x01}}, "Fan1", 1500000},
    // 366 RPM and slower read 0 (f71882fg show_fan, FAN_MIN_DETECT): 1500000 / 4087 = 367.
    {"FanCount0FF7", kB, {{0, 0xB0, 0x0F}, {0, 0xB1, 0xF7}}, "Fan2", 367},
    {"FanCount0FF8", kB, {{0, 0xB0, 0x0F}, {0, 0xB1, 0xF8}}, "Fan2", 0}, // 366
    {"FanCount0FFE", kB, {{0, 0xB0, 0x0F}, {0, 0xB1, 0xFE}}, "Fan2", 0}, // 366
    {"FanCount0FFF", kC, {{0, 0xA0, 0x0F}, {0, 0xA1, 0xFF}}, "Fan1", 0},
    {"FanCountFFFF", kD, {{0, 0xC0, 0xFF}, {0, 0xC1, 0xFF}}, "Fan2", 0},
    {"FanCountZero", kA, {{0, 0xB0, 0x00}, {0, 0xB1, 0x00}}, "Fan2", 0},
    {"FanHighByteFirst", kC, {{0, 0xB0, 0x01}, {0, 0xB1, 0x00}}, "Fan2", 5859},
    {"TemperatureFF", kA, {{0, 0x72, 0xFF}}, "CpuTemp", -1},
    {"Temperature80", kC, {{0, 0x74, 0x80}}, "SysTemp", -128},
    {"Temperature7F", kD, {{0, 0x72, 0x7F}}, "CpuTemp", 127},
};

INSTANTIATE_TEST_SUITE_P(Edges, FintekConversion, testing::ValuesIn(kConversions), caseName);

// The F8186x monitors are read with the driver's indexed request, the others with the
// waited index/data access; the simulated board answers both the same, so only the trace
// tells them apart.
TEST(FintekAccess, IndexedForF8186xWaitedForTheOthers)
{
    const std::pair<const char*, bool> cases[] = {{kA, true}, {kB, true}, {kC, false}, {kD, false}};
    for (const auto& [file, indexed] : cases) {
        BoardFixture board(BoardEdit::exampleBoard(file).json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND) << file;
        board.clearTrace();
        Vcore();
        EXPECT_EQ(board.traced("indexed ").size(), indexed ? 1u : 0u) << file;
    }
}

// A Super I/O at `port` answering as an F81866: chip ID 0x1010, vendor ID 0x1934.
BoardEdit withF81866At(BoardEdit edit, int port)
{
    return edit.superIoGlobal(port, 0x20, 0x10)
        .superIoGlobal(port, 0x21, 0x10)
        .superIoGlobal(port, 0x23, 0x19)
        .superIoGlobal(port, 0x24, 0x34);
}

TEST(FintekProbe, F81966ChoosesAOrDByLogicalDevice11)
{
    // With device 0x11 present the F81966 reads the A map: Vio from 0x24, +5 V and +12 V,
    // the system fan from 0xB0/0xB1 (which this board leaves at the absent count 0x0FFF).
    BoardFixture board(BoardEdit::exampleBoard(kD).superIoDevice(0x4E, 0x11, 0x30, 0x01).json());
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(readAll(), withZeros({{"Vcore", 1216}, {"Vio", 1648}, {"P5V", 3489}, {"P12V", 11968},
                                    {"Fan1", 2400}, {"Fan2", 0}, {"CpuTemp", 45}, {"SysTemp", 34}}));
    EXPECT_EQ(board.traced("out 0x4e 0xaa").size(), 1u);
    EXPECT_FALSE(superIoInConfigMode(0x4E));
}

TEST(FintekProbe, F81866WithoutDevice11FallsThroughToTheWinbondProbes)
{
    const BoardEdit f81866 = withF81866At(BoardEdit::exampleBoard("winbond-w83781d-295.json"), 0x4E)
                                 .superIoDevice(0x4E, 0x04, 0x60, 0x0A)
                                 .superIoDevice(0x4E, 0x04, 0x61, 0x10)
                                 .superIoDevice(0x4E, 0x11, 0x30, 0xFF);
    {
        BoardFixture board(f81866.json());
        EXPECT_EQ(DLLInitial(), GAUGE64_FOUND_ALT);
        EXPECT_EQ(N12V(), 12001);
        EXPECT_FALSE(superIoInConfigMode(0x4E)); // declined and locked again
    }
    {
        BoardFixture board(BoardEdit::exampleBoard(kA).superIoDevice(0x4E, 0x11, 0x30, 0xFF).json());
        EXPECT_EQ(DLLInitial(), GAUGE64_NO_CHIP);
    }
}

TEST(FintekProbe, ChipAt2EIsFoundAfter4EFailsAndBothAreLockedAgain)
{
    const std::string moved = withF81866At(BoardEdit::exampleBoard(kA).withoutSuperIo(0x4E), 0x2E)
                                  .superIoDevice(0x2E, 0x04, 0x30, 0x01)
                                  .superIoDevice(0x2E, 0x04, 0x60, 0x02)
                                  .superIoDevice(0x2E, 0x04, 0x61, 0x90)
                                  .superIoDevice(0x2E, 0x11, 0x30, 0x01)
                                  .superIoGlobal(0x4E, 0x20, 0x85) // some other maker's chip
                                  .superIoGlobal(0x4E, 0x21, 0x11)
                                  .json();
    BoardFixture board(moved);
    ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
    EXPECT_EQ(Vcore(), 1200);
    EXPECT_EQ(P12V(), 11968);
    EXPECT_FALSE(superIoInConfigMode(0x4E));
    EXPECT_FALSE(superIoInConfigMode(0x2E));
}

struct BaseCase {
    int high;
    int low;
    int addrPort;
};

// f71882fg_find: the base without its three low bits (address &= ~7), the pair at + 5.
TEST(FintekProbe, MonitorBaseDropsItsThreeLowBits)
{
    for (const BaseCase& c : {BaseCase{0x02, 0x90, 0x295}, BaseCase{0x02, 0x98, 0x29D}, BaseCase{0x12, 0x90, 0x1295},
                              BaseCase{0x0A, 0x17, 0xA15}, BaseCase{0xFA, 0x1F, 0xFA1D}}) {
        // Only the monitor at the expected port reads Vcore 800; the board's own reads 1200.
        BoardFixture board(BoardEdit::exampleBoard(kA)
                               .superIoDevice(0x4E, 0x04, 0x60, c.high)
                               .superIoDevice(0x4E, 0x04, 0x61, c.low)
                               .monitor(c.addrPort, {{0, 0x01, 0x03}, {0, 0x21, 100}})
                               .json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        EXPECT_EQ(Vcore(), 800) << std::hex << c.high << " " << c.low;
    }
}

TEST(FintekProbe, F71889MonitorIsTheFirstCandidateWithTheVendorId)
{
    struct Candidates {
        std::vector<int> withVendor;
        int32_t vcore; // each candidate's Vcore register is port / 16, so the port shows
    };
    for (const Candidates& c : {Candidates{{0x295}, 0x29 * 8}, Candidates{{0xA15}, 0xA1 * 8},
                                Candidates{{0x225}, 0x22 * 8}, Candidates{{0x225, 0xA15}, 0xA1 * 8}}) {
        BoardEdit edit = BoardEdit::exampleBoard(kC).firstMonitor({{0, 0x5E, 0x00}});
        for (int port : c.withVendor)
            edit.monitor(port, {{0, 0x01, 0x03}, {0, 0x5E, 0x34}, {0, 0x5D, 0x19}, {0, 0x21, port / 16}});
        BoardFixture board(edit.json());
        ASSERT_EQ(DLLInitial(), GAUGE64_FOUND);
        EXPECT_EQ(Vcore(), c.vcore);
    }
    // Identified by its Super I/O but no monitor answers: not used.
    BoardFixture board(BoardEdit::exampleBoard(kC).firstMonitor({{0, 0x5D, 0x00}}).json());
    EXPECT_EQ(DLLInitial(), GAUGE64_NO_CHIP);
}

// Monitor register 0x01 as f71882fg_probe reads it: bit 2 set (powered down) or bits 1:0
// clear (nothing started) and the monitor is not used; bit 0 alone starts temperatures and
// voltages, bit 1 alone the fans, and the readings of the other kind read 0.
TEST(FintekProbe, MonitorMustBePoweredAndStarted)
{
    struct StartCase {
        const char* board;
        int start;
        int32_t status;
        int32_t vcore;
        int32_t cpuTemp;
        int32_t fan1;
    };
    const StartCase cases[] = {
        {kA, 0x03, GAUGE64_FOUND, 1200, 44, 2400},   {kA, 0x01, GAUGE64_FOUND, 1200, 44, 0},
        {kC, 0x02, GAUGE64_FOUND, 0, 0, 2500},       {kB, 0x0B, GAUGE64_FOUND, 1240, 41, 2142},
        {kD, 0x00, GAUGE64_NO_CHIP, 0, 0, 0},        {kB, 0x07, GAUGE64_NO_CHIP, 0, 0, 0},
        {kA, 0x04, GAUGE64_NO_CHIP, 0, 0, 0},        {kC, 0xFF, GAUGE64_NO_CHIP, 0, 0, 0},
    };
    for (const StartCase& c : cases) {
        BoardFixture board(BoardEdit::exampleBoard(c.board).firstMonitor({{0, 0x01, c.start}}).json());
        EXPECT_EQ(DLLInitial(), c.status) << c.board << " with 0x01 = " << c.start;
        EXPECT_EQ(Vcore(), c.vcore) << c.board << " with 0x01 = " << c.start;
        EXPECT_EQ(CpuTemp(), c.cpuTemp) << c.board << " with 0x01 = " << c.start;
        EXPECT_EQ(Fan1(), c.fan1) << c.board << " with 0x01 = " << c.start;
    }
}

} // namespace
