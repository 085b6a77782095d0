// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The shared conversions as pure functions: raw values in, readings out, edges included.

#include "chips/conversions.h"

#include <gtest/gtest.h>

using namespace gauge::chips;

namespace {

struct MillivoltCase {
    const char* what;
    uint8_t raw;
    Scale scale;
    int32_t expected;
};

TEST(Conversions, MillivoltsTruncateTowardZero)
{
    const MillivoltCase cases[] = {
        {"integer product", 150, scaled(8), 1200},
        {"product then factor", 237, scaled(8, 5.25531914893617), 9964},
        {"factor on the raw byte", 188, times(26.64), 5008},
        {"quotient", 100, over(8, 0.15151515151515152), 5280},
        {"reference minus, then quotient", 0, fromReferenceOver(2900.0, 16, 0.19444444444444442), 14914},
        {"negative result truncates up", 200, fromReferenceOver(2900.0, 16, 0.19444444444444442), -1542},
        {"reference minus quotient", 168, referenceMinusOver(47513.6, 8, 0.04132231404958678), 14988},
        {"exact double result stays", 169, referenceMinusOver(24576.0, 8, 0.07692307692307693), 7000},
    };
    for (const MillivoltCase& c : cases)
        EXPECT_EQ(millivoltsFromByte(c.raw, c.scale), c.expected) << c.what;
}

// The kernel's w83627hf show_in_0 in VRM9 mode, worked by hand: (raw × 488 + 70050) / 100,
// so 4.88 mV per step above 700 mV, to the nearest millivolt.
TEST(Conversions, Vrm9CoreVoltage)
{
    const std::pair<uint8_t, int32_t> cases[] = {{0, 700}, {1, 705}, {100, 1188}, {164, 1500}, {255, 1944}};
    for (const auto& [raw, millivolts] : cases)
        EXPECT_EQ(millivoltsVrm9FromByte(raw), millivolts) << int(raw);
}

TEST(Conversions, BoundsIncludeBothEnds)
{
    EXPECT_EQ(boundedReading(10000, ceiling(10000)), 10000);
    EXPECT_EQ(boundedReading(10001, ceiling(10000)), 0);
    EXPECT_EQ(boundedReading(-5, ceiling(10000)), -5);
    EXPECT_EQ(boundedReading(9000, window(9000, 15000)), 9000);
    EXPECT_EQ(boundedReading(8999, window(9000, 15000)), 0);
    EXPECT_EQ(boundedReading(15000, window(9000, 15000)), 15000);
    EXPECT_EQ(boundedReading(15001, window(9000, 15000)), 0);
    EXPECT_EQ(boundedReading(-1, kUnbounded), -1);
}

TEST(Conversions, Temperatures)
{
    const std::pair<uint8_t, int32_t> cases[] = {{0x00, 0}, {0x7F, 127}, {0x80, -128}, {0xFF, -1}, {0x2D, 45}};
    for (const auto& [raw, celsius] : cases)
        EXPECT_EQ(celsiusFromSignedByte(raw), celsius) << int(raw);
}

TEST(Conversions, FanSpeeds)
{
    // 1500000 / count; 366 RPM and below read 0 as f71882fg's show_fan reads FAN_MIN_DETECT:
    // 1500000 / 4087 = 367 is the slowest speed shown, 1500000 / 4088 = 366 is not.
    const std::pair<uint16_t, int32_t> periods[] = {{1, 1500000}, {4087, 367}, {4088, 0}, {0x0FFE, 0},
                                                    {0x0FFF, 0},  {0x1000, 0}, {0xFFFF, 0}, {0, 0}};
    for (const auto& [count, rpm] : periods)
        EXPECT_EQ(rpmFromPeriodCount(count), rpm) << count;

    const int32_t numerators[] = {1350000, 675000, 337500, 168750, 84375, 42187, 21093, 10546};
    for (int exponent = 0; exponent < 8; ++exponent)
        EXPECT_EQ(fanNumeratorForDivisorExponent(exponent), numerators[exponent]) << exponent;
    EXPECT_EQ(rpmFromDividedCount(135, 1350000), 10000);
    EXPECT_EQ(rpmFromDividedCount(0xFE, 10546), 41);
    EXPECT_EQ(rpmFromDividedCount(0xFF, 1350000), 0);
    EXPECT_EQ(rpmFromDividedCount(0x00, 1350000), 0);

    EXPECT_EQ(rpmFromWord(0x0B, 0xB8), 3000);
    EXPECT_EQ(rpmFromWord(0xFF, 0xFF), 65535);
    EXPECT_EQ(rpmFromWord(0x00, 0x00), 0);
}

// nct6775's fan_from_reg13 by hand: count = high << 5 | (low & 0x1F), 1350000 / count.
TEST(Conversions, ThirteenBitFanCounts)
{
    struct Count13 {
        uint8_t high;
        uint8_t low;
        int32_t rpm;
    };
    const Count13 cases[] = {
        {0x0E, 0x02, 3000},    // 450
        {0x0E, 0xE2, 3000},    // bits 7 to 5 of the low byte are not part of the count
        {0x17, 0x0E, 1800},    // 750
        {0x00, 0x01, 1350000}, // 1
        {0xFF, 0x1E, 164},     // 8190
        {0xFE, 0x1F, 165},     // 8159
        {0xFF, 0x1F, 0},       // all ones: no fan
        {0xFF, 0xFF, 0},
        {0x00, 0x00, 0},
        {0x00, 0xE0, 0}, // a count of 0
    };
    for (const Count13& c : cases)
        EXPECT_EQ(rpmFromCount13(c.high, c.low), c.rpm) << int(c.high) << " " << int(c.low);
}

} // namespace
