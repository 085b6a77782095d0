// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "conversions.h"

namespace gauge::chips {

namespace {

constexpr int32_t kPeriodClockHz = 1500000;
constexpr int32_t kDividedCountClock = 1350000;
constexpr int32_t kLowestDetectableRpm = 366;

} // namespace

int32_t millivoltsFromByte(uint8_t raw, const Scale& scale)
{
    const int32_t product = int32_t(raw) * scale.step;
    double millivolts = 0.0;
    switch (scale.form) {
    case ScaleForm::Product:
        millivolts = product * scale.value;
        break;
    case ScaleForm::Quotient:
        millivolts = product / scale.value;
        break;
    case ScaleForm::ReferenceMinusThenOver:
        millivolts = (scale.reference - product) / scale.value;
        break;
    case ScaleForm::ReferenceMinusQuotient:
        millivolts = scale.reference - product / scale.value;
        break;
    }
    // The conversion to an integer truncates toward zero.
    return int32_t(millivolts);
}

int32_t millivoltsVrm9FromByte(uint8_t raw)
{
    return (int32_t(raw) * 488 + 70000 + 50) / 100;
}

int32_t boundedReading(int32_t value, Bounds bounds)
{
    return value < bounds.low || value > bounds.high ? 0 : value;
}

int32_t celsiusFromSignedByte(uint8_t raw)
{
    return raw > 127 ? int32_t(raw) - 256 : int32_t(raw);
}

int32_t rpmFromPeriodCount(uint16_t count)
{
    if (count == 0)
        return 0;
    const int32_t rpm = int32_t(uint32_t(kPeriodClockHz) / count);
    return rpm <= kLowestDetectableRpm ? 0 : rpm;
}

int32_t rpmFromDividedCount(uint8_t count, int32_t numerator)
{
    if (count == 0 || count == 0xFF)
        return 0;
    return numerator / count;
}

int32_t fanNumeratorForDivisorExponent(int exponent)
{
    return kDividedCountClock / (1 << exponent);
}

int32_t rpmFromWord(uint8_t high, uint8_t low)
{
    return int32_t(high) * 256 + low;
}

int32_t rpmFromCount13(uint8_t high, uint8_t low)
{
    if (high == 0xFF && (low & 0x1F) == 0x1F)
        return 0;
    const int32_t count = int32_t(high) << 5 | (low & 0x1F);
    return count == 0 ? 0 : kDividedCountClock / count;
}

} // namespace gauge::chips
