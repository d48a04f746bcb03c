// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads back, from a recorded drawing, the meter value each plotted point
// shows: the bar height, the line's end or the waterfall's green.

#include "recording_surface.h"

#include <cmath>
#include <vector>

namespace drawn {

struct Point {
    float x = 0;  // column centre
    int value = -1;
    qv7m::OleColor color = 0;
};

// One point a cursor line, read as drawn in the given style (0 area, 1 line,
// 2 waterfall) from the erase and the trace before it.
inline std::vector<Point> points(const std::vector<qv7m::DrawCall>& calls, double height, int style) {
    using K = qv7m::DrawCall::Kind;
    std::vector<Point> out;
    std::vector<const qv7m::DrawCall*> group;
    for (const qv7m::DrawCall& c : calls) {
        if (c.kind != K::Line || c.color != qv7m::RGB(200, 200, 200)) {
            if (c.kind == K::Box || c.kind == K::Line) group.push_back(&c);
            continue;
        }
        Point p;
        if (!group.empty()) p.x = (group.front()->x1 + group.front()->x2) / 2;
        if (group.size() >= 2) {
            p.color = group.back()->color;
            p.value = style == 2 ? int((p.color >> 8) & 0xFF) : int(std::lround((height - group.back()->y2) / 10));
        }
        out.push_back(p);
        group.clear();
    }
    return out;
}

}  // namespace drawn
