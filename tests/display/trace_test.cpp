#include "display/recordingsurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

using namespace qv7m;

namespace {

constexpr OleColor kBlack = RGB(0, 0, 0);
constexpr OleColor kCursor = RGB(200, 200, 200);

PointInputs point(double x, double h, int16_t m, int16_t shade, int16_t style, double prevX = 0,
                  double prevMeter = 0) {
    return PointInputs{x, h, prevX, prevMeter, m, shade, style};
}

std::vector<DrawCall> draw(const PointInputs& in, RecordingSurface s = RecordingSurface()) {
    drawPoint(s, in);
    return s.calls();
}

DrawCall erase(float x, float h) { return DrawCall::box(x - h, 2550, x + h, 0, kBlack); }
DrawCall cursor(float x, float h) { return DrawCall::line(x + h + 5, 2550, x + h + 5, 0, kCursor); }

}  // namespace

TEST(Trace, AreaGraphBarRisesFromTheBottom) {
    EXPECT_EQ(draw(point(4000, 50, 0, 220, 0)),
              (std::vector<DrawCall>{erase(4000, 50), DrawCall::box(3950, 2550, 4050, 2550, RGB(0, 220, 0)),
                                     cursor(4000, 50)}));
    EXPECT_EQ(draw(point(4000, 50, 255, 140, 0)),
              (std::vector<DrawCall>{erase(4000, 50), DrawCall::box(3950, 2550, 4050, 0, RGB(0, 140, 0)),
                                     cursor(4000, 50)}));
    EXPECT_EQ(draw(point(100, 50, 37, 220, 0))[1], DrawCall::box(50, 2550, 150, 2180, RGB(0, 220, 0)));
}

TEST(Trace, LineGraphJoinsThePreviousPoint) {
    EXPECT_EQ(draw(point(4000, 50, 255, 220, 1, 3900, 100)),
              (std::vector<DrawCall>{erase(4000, 50), DrawCall::line(3900, 1550, 4000, 0, RGB(0, 220, 0)),
                                     cursor(4000, 50)}));
    EXPECT_EQ(draw(point(4000, 50, 0, 140, 1, 3900, 255))[1], DrawCall::line(3900, 0, 4000, 2550, RGB(0, 140, 0)));
}

TEST(Trace, FirstLineStepOfASweepIsVerticalAtTheLeftEdge) {
    // prevX = plotX = 0; prevMeter carried over from the last reading before.
    const auto calls = draw(point(0, 50, 20, 140, 1, 0, 123));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], DrawCall::box(-50, 2550, 50, 0, kBlack));
    EXPECT_EQ(calls[1], DrawCall::line(0, 1320, 0, 2350, RGB(0, 140, 0)));
    EXPECT_EQ(calls[2], DrawCall::line(55, 2550, 55, 0, kCursor));
}

TEST(Trace, WaterfallColumnIsTheReadingInGreenWhateverTheShade) {
    EXPECT_EQ(draw(point(4000, 50, 0, 220, 2)),
              (std::vector<DrawCall>{erase(4000, 50), DrawCall::box(3950, 2550, 4050, 0, RGB(0, 0, 0)),
                                     cursor(4000, 50)}));
    EXPECT_EQ(draw(point(4000, 50, 255, 140, 2))[1], DrawCall::box(3950, 2550, 4050, 0, RGB(0, 255, 0)));
    EXPECT_EQ(draw(point(4000, 50, 128, 220, 2))[1].color, RGB(0, 128, 0));
}

TEST(Trace, NoStyleOnlyErasesAndMovesTheCursor) {
    for (int16_t style : {int16_t(-1), int16_t(3)})
        EXPECT_EQ(draw(point(4000, 50, 200, 220, style, 3900, 100)),
                  (std::vector<DrawCall>{erase(4000, 50), cursor(4000, 50)}))
            << style;
}

TEST(Trace, ReadsHeightAndBackgroundOfTheBoxAtThatMoment) {
    RecordingSurface s(8000, 1000, RGB(1, 2, 3));
    drawPoint(s, point(8000, 5, 100, 220, 0));
    // The last column of a sweep: centred on the right edge, the surface clips.
    EXPECT_EQ(s.calls(),
              (std::vector<DrawCall>{DrawCall::box(7995, 1000, 8005, 0, RGB(1, 2, 3)),
                                     DrawCall::box(7995, 1000, 8005, 0, RGB(0, 220, 0)),
                                     DrawCall::line(8010, 1000, 8010, 0, kCursor)}));
}

TEST(Trace, ColourLevelsStayInRange) {
    // Values no scan produces must not spill into the red or blue channel.
    EXPECT_EQ(draw(point(100, 50, 300, 220, 2))[1].color, RGB(0, 255, 0));
    EXPECT_EQ(draw(point(100, 50, -1, 220, 2))[1].color, RGB(0, 0, 0));
    EXPECT_EQ(draw(point(100, 50, 10, 400, 0))[1].color, RGB(0, 255, 0));
    EXPECT_EQ(draw(point(100, 50, 10, -5, 1))[1].color, RGB(0, 0, 0));
}
