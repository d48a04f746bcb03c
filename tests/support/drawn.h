#pragma once
// Reads back, from a recorded drawing, the meter value each plotted point
// shows: the bar height, the line's end or the waterfall's green.

#include "display/recordingsurface.h"

#include <cmath>
#include <vector>

namespace drawn {

struct Point {
    float x = 0;  // column centre
    int value = -1;
    qv7m::OleColor color = 0;
};

// Splits the calls at the cursor lines (one per point) and reads each point
// as drawn in the given style (0 area, 1 line, 2 waterfall).
inline std::vector<Point> points(const std::vector<qv7m::DrawCall>& calls, double height, int style) {
    using qv7m::DrawCall;
    std::vector<Point> out;
    std::vector<const DrawCall*> group;  // since the last cursor: the erase, then the trace
    for (const DrawCall& c : calls) {
        if (c.kind != DrawCall::Kind::Line || c.color != qv7m::RGB(200, 200, 200)) {
            if (c.kind == DrawCall::Kind::FilledBox || c.kind == DrawCall::Kind::Line) group.push_back(&c);
            continue;
        }
        Point p;
        if (!group.empty()) p.x = (group.front()->x1 + group.front()->x2) / 2;
        if (group.size() >= 2) {
            const DrawCall& t = *group.back();
            p.color = t.color;
            p.value = style == 2 ? static_cast<int>((t.color >> 8) & 0xFF)
                                 : static_cast<int>(std::lround((height - t.y2) / 10.0));
        }
        out.push_back(p);
        group.clear();
    }
    return out;
}

}  // namespace drawn
