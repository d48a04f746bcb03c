// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The static part of the display: the frequency marks in the scale strip
// (scaleStrip), the centre line of the plot (plot) and, for the graph
// styles, its level grid with the S-meter labels. Also fixes spanUnits, the
// displayed width in 10 Hz units, from the width list's text.

#include "display/surface.h"

#include <QString>
#include <cstdint>

namespace qv7m {

// Draws the graticule. Clears nothing: draws over what the
// boxes show. widthText is the width list's text in kHz; styleIndex the style
// list's selection (-1 none, 0 area, 1 line, 2 waterfall).
//
// Throws RuntimeError before drawing anything:
//  - TypeMismatch: widthText empty or not a number (spanUnits unchanged);
//  - Overflow: a width too large for a double (spanUnits unchanged), or so
//    large that the marks would be less than a twip apart (spanUnits set);
//  - DivisionByZero: a width below 1 kHz, a span of 0 (spanUnits set to 0).
// Nothing is then half-drawn: choosing a width again draws it whole.
// A negative width draws no marks (the mark loop counts up to the strip's
// width with a negative step), then the rest as usual.
void paintGraticule(DrawingSurface& plot, DrawingSurface& scaleStrip, const QString& widthText, int16_t styleIndex,
                    double& spanUnits);

// The level label printed for grid line i (14, 12, ..., 2).
QString levelLabel(int i);

}  // namespace qv7m
