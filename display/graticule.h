#pragma once
// The static part of the display: the frequency marks in the scale strip
// (picture2), the centre line of the plot (picture1) and, for the graph
// styles, its level grid with the S-meter labels. Also fixes spanUnits, the
// displayed width in 10 Hz units, from the width list's text.

#include "display/surface.h"

#include <QString>
#include <cstdint>

namespace qv7m {

// The plot's Paint event (Picture1_Paint). Clears nothing: draws over what the
// boxes show. disText is the width list's text in kHz; styleIndex the style
// list's selection (-1 none, 0 area, 1 line, 2 waterfall).
//
// Throws RuntimeError before drawing anything:
//  - TypeMismatch: disText empty or not a number (spanUnits unchanged);
//  - Overflow: a width too large for a double (spanUnits unchanged), or so
//    large that the marks would be less than a twip apart (spanUnits set);
//  - DivisionByZero: a width below 1 kHz, a span of 0 (spanUnits set to 0).
// Nothing is then half-drawn: choosing a width again draws it whole.
// A negative width draws no marks (the mark loop counts up to the strip's
// width with a negative step), then the rest as usual.
void paintGraticule(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText,
                    int16_t styleIndex, double& spanUnits);

// A new width (dis_Click): clears the scale strip only, then paints.
void disClick(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText, int16_t styleIndex,
              double& spanUnits);
// A new style (style_Click): clears the plot only, then paints.
void styleClick(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText, int16_t styleIndex,
                double& spanUnits);

// The level label printed for grid line i (14, 12, ..., 2).
QString levelLabel(int i);

}  // namespace qv7m
