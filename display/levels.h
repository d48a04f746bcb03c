// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Meter readings (0..255, or an average of them) on the scale the plot's level
// grid draws: grid lines 17 counts apart, S1 at 17 up to S9 at 153, each line
// one S unit (6 dB) below S9 and 10 dB above it. Everything that shows a
// strength or compares strengths in dB goes through here, so the readout, the
// peak marks and the signal list agree with the grid.

#include <QString>

namespace qv7m {

constexpr int kS9Reading = 153;
constexpr int kCountsPerGridLine = 17;
constexpr double kDbPerSUnit = 6;
constexpr double kDbPerGridLineOverS9 = 10;

// The reading in dB relative to S9 (negative below it).
double dbOverS9(double reading);

// The reading as an S-meter shows it: "S0" to "S9" below S9, to the nearest
// S unit, then "S9+10", "S9+23", ... to the nearest dB.
QString sUnits(double reading);

}  // namespace qv7m
