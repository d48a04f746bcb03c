// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/trace.h"

#include <algorithm>

namespace qv7m {

namespace {
constexpr OleColor kCursorColor = RGB(200, 200, 200);

// A colour level as the colour function takes it: above 255 counts as 255.
// Below 0 would wrap into the other channels; 0 is the sound reading.
int level(int v) { return std::clamp(v, 0, 255); }
}  // namespace

void drawPoint(DrawingSurface& plot, const PointInputs& in) {
    const double x = in.plotX, h = in.halfColumn, m = in.meterValue;
    const OleColor trace = RGB(0, level(in.shade), 0);

    // Height and background are read again for every primitive: they are the
    // box's, not ours to cache.
    plot.filledBox(float(x - h), float(plot.height()), float(x + h), 0.0f, plot.backColor());
    if (in.styleIndex == 0)
        plot.filledBox(float(x - h), float(plot.height()), float(x + h), float(plot.height() - 10 * m), trace);
    if (in.styleIndex == 1)
        plot.line(float(in.prevX), float(plot.height() - 10 * in.prevMeter), float(x), float(plot.height() - 10 * m),
                  trace);
    if (in.styleIndex == 2)
        plot.filledBox(float(x - h), float(plot.height()), float(x + h), 0.0f, RGB(0, level(in.meterValue), 0));
    plot.line(float(x + h + 5), float(plot.height()), float(x + h + 5), 0.0f, kCursorColor);
}

}  // namespace qv7m
