#include "display/recordingsurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {
constexpr OleColor kCursor = RGB(200, 200, 200);
DrawCall box(float x1, float y1, float x2, float y2, int green) { return DrawCall::box(x1, y1, x2, y2, RGB(0, green, 0)); }
DrawCall line(float x1, float y1, float x2, float y2, int green) { return DrawCall::line(x1, y1, x2, y2, RGB(0, green, 0)); }
}  // namespace

// Every point: the erase in the background colour, the style's own
// primitive, then the cursor just right of the column.
TEST(Trace, EachStyleDrawsBetweenTheEraseAndTheCursor) {
    const struct {
        PointInputs in;  // plotX, halfColumn, prevX, prevMeter, meterValue, shade, styleIndex
        std::vector<DrawCall> own;
    } cases[] = {
        {{4000, 50, 0, 0, 0, 220, 0}, {box(3950, 2550, 4050, 2550, 220)}},  // area: a bar up from the bottom
        {{100, 50, 0, 0, 255, 140, 0}, {box(50, 2550, 150, 0, 140)}},
        {{4000, 50, 3900, 100, 255, 220, 1}, {line(3900, 1550, 4000, 0, 220)}},  // line
        {{4000, 50, 3900, 255, 0, 140, 1}, {line(3900, 0, 4000, 2550, 140)}},
        // The first step of a sweep: prevX = plotX = 0, prevMeter carried over.
        {{0, 50, 0, 123, 20, 140, 1}, {line(0, 1320, 0, 2350, 140)}},
        {{4000, 50, 0, 0, 0, 220, 2}, {box(3950, 2550, 4050, 0, 0)}},  // waterfall: green is the reading
        {{4000, 50, 0, 0, 255, 140, 2}, {box(3950, 2550, 4050, 0, 255)}},
        {{4000, 50, 3900, 100, 200, 220, -1}, {}},  // no style: only the erase and the cursor
        {{4000, 50, 3900, 100, 200, 220, 3}, {}},
        // Values no scan produces must not spill into the red or blue channel.
        {{100, 50, 0, 0, 300, 220, 2}, {box(50, 2550, 150, 0, 255)}},
        {{100, 50, 0, 0, -1, 220, 2}, {box(50, 2550, 150, 0, 0)}},
        {{100, 50, 0, 0, 10, 400, 0}, {box(50, 2550, 150, 2450, 255)}},
        {{100, 50, 0, 0, 10, -5, 1}, {line(0, 2550, 100, 2450, 0)}},
    };
    for (const auto& c : cases) {
        const float x = c.in.plotX, h = c.in.halfColumn;
        std::vector<DrawCall> want{DrawCall::box(x - h, 2550, x + h, 0, RGB(0, 0, 0))};
        want.insert(want.end(), c.own.begin(), c.own.end());
        want.push_back(DrawCall::line(x + h + 5, 2550, x + h + 5, 0, kCursor));
        RecordingSurface s;
        drawPoint(s, c.in);
        EXPECT_EQ(s.calls(), want) << "x " << x << " m " << c.in.meterValue << " style " << c.in.styleIndex;
    }
    // Height and background are the box's at that moment; the last column is centred on the right edge.
    RecordingSurface s(8000, 1000, RGB(1, 2, 3));
    drawPoint(s, PointInputs{8000, 5, 0, 0, 100, 220, 0});
    EXPECT_EQ(s.calls(), (std::vector<DrawCall>{DrawCall::box(7995, 1000, 8005, 0, RGB(1, 2, 3)), box(7995, 1000, 8005, 0, 220),
                                                DrawCall::line(8010, 1000, 8010, 0, kCursor)}));
}
