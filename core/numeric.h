// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's number rules: fixed-width integers that raise an overflow
// instead of wrapping, rounding to the nearest integer with ties to even, and
// the text-to-number conversion used for the list texts.

#include <QString>
#include <cstdint>

namespace qv7m {

// Nearest 32-bit integer, ties to even; Overflow outside the range or for NaN.
int32_t toInt32(double v);
// Nearest 16-bit integer, ties to even; Overflow outside the range or for NaN.
int16_t toInt16(double v);
// a + b as a 32-bit signed addition; Overflow instead of wrapping.
int32_t addInt32(int32_t a, int32_t b);
// A text read as a decimal number (surrounding blanks ignored). An empty or
// non-numeric text is a TypeMismatch; a value beyond the double range Overflow.
double toDouble(const QString& text);
// Int(): the largest whole number not above v.
double intPart(double v);

}  // namespace qv7m
