#pragma once
// Reads back, from a recorded drawing, the meter value each plotted point
// shows: the bar height, the line's end or the waterfall's green.

#include "display/recordingsurface.h"

#include <vector>

namespace drawn {

struct Point {
    float x = 0;   // column centre
    int value = -1;
    qv7m::OleColor color = 0;
};

// Splits the calls at the cursor lines (one per point) and reads each point
// as drawn in the given style (0 area, 1 line, 2 waterfall).
std::vector<Point> points(const std::vector<qv7m::DrawCall>& calls, double height, int style);

}  // namespace drawn
