// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drawing one measured point of the sweep into the plot: the column is wiped,
// the point drawn in the chosen style, and a cursor line marks the newest
// column. No state is kept: the plot is the drawing itself.

#include "display/surface.h"

#include <cstdint>

namespace qv7m {

struct PointInputs {
    double plotX;        // x of the centre of the new column, twips
    double halfColumn;   // half the column's width
    double prevX;        // x of the previous point (line graph)
    double prevMeter;    // meter value of the previous point (line graph)
    int16_t meterValue;  // the new reading, 0-255
    int16_t shade;       // green level of this sweep's trace, 220 or 140
    int16_t styleIndex;  // 0 area, 1 line, 2 waterfall; anything else: no trace
};

// A meter value m stands at y = Height - 10 * m. Colour levels outside 0-255
// are held to that range, so a stray value cannot turn into another colour.
void drawPoint(DrawingSurface& plot, const PointInputs& in);

}  // namespace qv7m
