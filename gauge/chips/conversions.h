// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#pragma once
// Conversions from raw monitor bytes to reading units, shared by every chip family.
// Pure functions: the raw value in, the reading out. A product by a whole step is an
// integer product; a factor or divisor with a decimal point is a double applied to that
// product, and the result is truncated toward zero.

#include <cstdint>
#include <limits>

namespace gauge::chips {

// A result outside [low, high] is implausible and reads as 0.
struct Bounds {
    int32_t low;
    int32_t high;
};

constexpr Bounds kUnbounded{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
constexpr Bounds ceiling(int32_t high)
{
    return {std::numeric_limits<int32_t>::min(), high};
}
constexpr Bounds window(int32_t low, int32_t high)
{
    return {low, high};
}

enum class ScaleForm {
    Product,                 // (raw × step) × value
    Quotient,                // (raw × step) / value
    ReferenceMinusThenOver,  // (reference − raw × step) / value
    ReferenceMinusQuotient,  // reference − (raw × step) / value
};

struct Scale {
    ScaleForm form;
    int32_t step;
    double value;
    double reference;
};

// raw × step, an integer product.
constexpr Scale scaled(int32_t step)
{
    return {ScaleForm::Product, step, 1.0, 0.0};
}
// (raw × step) × factor.
constexpr Scale scaled(int32_t step, double factor)
{
    return {ScaleForm::Product, step, factor, 0.0};
}
// raw × factor.
constexpr Scale times(double factor)
{
    return {ScaleForm::Product, 1, factor, 0.0};
}
// (raw × step) / divisor.
constexpr Scale over(int32_t step, double divisor)
{
    return {ScaleForm::Quotient, step, divisor, 0.0};
}
// (reference − raw × step) / divisor: a negative rail seen through a divider to a reference.
constexpr Scale fromReferenceOver(double reference, int32_t step, double divisor)
{
    return {ScaleForm::ReferenceMinusThenOver, step, divisor, reference};
}
// reference − (raw × step) / divisor.
constexpr Scale referenceMinusOver(double reference, int32_t step, double divisor)
{
    return {ScaleForm::ReferenceMinusQuotient, step, divisor, reference};
}

int32_t millivoltsFromByte(uint8_t raw, const Scale& scale);
// A core-voltage byte in VRM9 mode: 4.88 mV per step above 700 mV, to the nearest
// millivolt in integer arithmetic as the kernel's w83627hf show_in_0 computes it.
int32_t millivoltsVrm9FromByte(uint8_t raw);

// The value itself inside the bounds (both ends included), else 0.
int32_t boundedReading(int32_t value, Bounds bounds);

// Two's-complement byte: above 127 stands for raw − 256.
int32_t celsiusFromSignedByte(uint8_t raw);

// A fan period count at 1.5 MHz. The counter saturates at 0x0FFF, where 1500000 / count is
// 366 RPM, the slowest speed it can tell from a stopped fan: 366 and below read as 0, as
// f71882fg's show_fan treats FAN_MIN_DETECT (so counts of 4088 and more, 0xFFFF included),
// and so does a count of 0.
int32_t rpmFromPeriodCount(uint16_t count);
// An 8-bit fan count divided into the numerator of its divisor; 0 and 0xFF read as 0.
int32_t rpmFromDividedCount(uint8_t count, int32_t numerator);
// 1350000 / 2^exponent in integer division: the numerator for a fan divisor of 2^exponent.
int32_t fanNumeratorForDivisorExponent(int exponent);
// A fan speed the chip reports directly in RPM as a 16-bit word; no range test.
int32_t rpmFromWord(uint8_t high, uint8_t low);
// A 13-bit fan count in a register pair: bits 12 to 5 in the high byte, bits 4 to 0 in the
// low byte's low bits; 1350000 / count, and 0 for a count of 0 or an all-ones pair
// (nct6775's fan_from_reg13).
int32_t rpmFromCount13(uint8_t high, uint8_t low);

} // namespace gauge::chips
