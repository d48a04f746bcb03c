#include "drawn.h"

#include <cmath>

namespace drawn {

using qv7m::DrawCall;

std::vector<Point> points(const std::vector<DrawCall>& calls, double height, int style) {
    std::vector<Point> out;
    std::vector<const DrawCall*> group;  // since the last cursor: the erase, then the trace
    for (const DrawCall& c : calls) {
        const bool cursor = c.kind == DrawCall::Kind::Line && c.color == qv7m::RGB(200, 200, 200);
        if (!cursor) {
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
