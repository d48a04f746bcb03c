// The graticule and the trace as exact primitives, and the backing image
// where twips land and what lies off it.

#include "core/runtime_error.h"
#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"
#include "support/recording_surface.h"

#include <gtest/gtest.h>

#include <limits>

using namespace qv7m;
using Calls = std::vector<DrawCall>;

namespace {
constexpr OleColor kBlack = 0, kWhite = RGB(255, 255, 255), kCursor = RGB(200, 200, 200);
OleColor green(int g) { return RGB(0, g, 0); }
}  // namespace

TEST(Graticule, MarksOnePerKilohertzOverTheStylesPlotAndBadWidthsDrawNothing) {
    Calls graph{DrawCall::line(4000, 0, 4000, 2550, RGB(100, 100, 100))};
    for (float y : {2380, 2040, 1700, 1360, 1020, 680, 340}) graph.push_back(DrawCall::line(0, y, 8000, y, RGB(80, 80, 80)));
    const char* labels[] = {" S 1", " S 3", " S 5", " S 7", " S 9", "+20dB", "+40dB"};
    for (int k = 0; k < 7; ++k) graph.push_back(DrawCall::print(labels[k], k == 0 ? 10 : 0, 2280 - 340 * k));
    const struct {
        const char* text;
        int16_t style;
        double span;
        size_t marks;
        float apart;
    } cases[] = {{"10", 0, 1000, 11, 800}, {" 20.9 ", 1, 2000, 21, 400},  // whole kHz only
                 {"8000", 2, 800000, 8001, 1},                              // a mark every twip
                 {"-10", 3, -1000, 0, 0}};                                  // no marks, and no endless loop
    for (const auto& c : cases) {
        RecordingSurface plot(8000, 2550, 0, 5000), strip(8000, 150);  // the line advance must not move the labels
        double span = -7;
        paintGraticule(plot, strip, c.text, c.style, span);
        EXPECT_EQ(span, c.span);
        ASSERT_EQ(strip.calls.size(), c.marks) << c.text;
        for (size_t k = 0; k < c.marks; ++k) ASSERT_EQ(strip.calls[k], DrawCall::line(k * c.apart, 0, k * c.apart, 150, kWhite));
        EXPECT_EQ(plot.calls, c.style < 2 ? graph : Calls{graph[0]}) << c.text;  // no clear: drawing adds
    }
    const std::pair<const char*, double> bad[] = {{"10kHz", -7}, {"0.99", 0}, {"1e307", -7},
                                                  {"1e12", 1e14}};  // marks closer than a twip: refused, not hung
    for (const auto& [text, spanAfter] : bad) {
        RecordingSurface plot, strip;
        double span = -7;
        EXPECT_THROW(paintGraticule(plot, strip, text, 0, span), RuntimeError) << text;
        EXPECT_TRUE(plot.calls.empty() && strip.calls.empty()) << text << ": half drawn";
        EXPECT_EQ(span, spanAfter) << text;
    }
}

// Every point: the erase in the background colour, the style's own
// primitive, then the cursor just right of the column.
TEST(Trace, EachStyleDrawsBetweenTheEraseAndTheCursor) {
    const struct {
        PointInputs in;  // plotX, halfColumn, prevX, prevMeter, meterValue, shade, styleIndex
        Calls own;
    } cases[] = {
        {{4000, 50, 0, 0, 0, 220, 0}, {DrawCall::box(3950, 2550, 4050, 2550, green(220))}},  // area: a bar up from the bottom
        {{100, 50, 0, 0, 255, 140, 0}, {DrawCall::box(50, 2550, 150, 0, green(140))}},
        {{4000, 50, 3900, 100, 255, 220, 1}, {DrawCall::line(3900, 1550, 4000, 0, green(220))}},  // line from the last point
        {{0, 50, 0, 123, 20, 140, 1}, {DrawCall::line(0, 1320, 0, 2350, green(140))}},  // a sweep's first: the last reading carried
        {{4000, 50, 0, 0, 255, 140, 2}, {DrawCall::box(3950, 2550, 4050, 0, green(255))}},  // waterfall: green is the reading
        {{4000, 50, 3900, 100, 200, 220, 3}, {}},  // no style: only the erase and the cursor
        // Values no scan produces must not spill into the red or blue channel.
        {{100, 50, 0, 0, 300, 220, 2}, {DrawCall::box(50, 2550, 150, 0, green(255))}},
        {{100, 50, 0, 0, -1, 220, 2}, {DrawCall::box(50, 2550, 150, 0, green(0))}},
        {{100, 50, 0, 0, 10, 400, 0}, {DrawCall::box(50, 2550, 150, 2450, green(255))}},
    };
    for (const auto& c : cases) {
        const float x = float(c.in.plotX);
        Calls want{DrawCall::box(x - 50, 2550, x + 50, 0, kBlack)};
        want.insert(want.end(), c.own.begin(), c.own.end());
        want.push_back(DrawCall::line(x + 55, 2550, x + 55, 0, kCursor));
        RecordingSurface s;
        drawPoint(s, c.in);
        EXPECT_EQ(s.calls, want) << "x " << x << " m " << c.in.meterValue << " style " << c.in.styleIndex;
    }
}

TEST(ImageSurface, TwipsLandOnTheirPixelsAndWhatLiesOffTheBoxIsClippedNotHung) {
    ImageSurface s(8000, 2550, kBlack, 0, QFont()), two(8000, 2550, kBlack, 0, QFont(), 2);
    // The bounding box and number of the pixels of one colour.
    const auto find = [](const ImageSurface& i, OleColor c) {
        std::pair<QRect, int> r;
        for (int y = 0; y < i.image().height(); ++y)
            for (int x = 0; x < i.image().width(); ++x)
                if (i.pixel(x, y) == c) r.first |= QRect(x, y, 1, 1), ++r.second;
        return r;
    };
    EXPECT_EQ(s.image().size(), QSize(533, 170));
    s.line(8000, 0, 8000, 2550, kWhite);  // x = Width and y = Height lie just outside
    s.line(0, 2550, 8000, 2550, kWhite);
    s.filledBox(300, 300, 150, 150, RGB(4, 5, 6));  // corners either way round
    s.filledBox(600, 900, 749, 900, RGB(7, 8, 9));  // no height: still one row, like its outline
    s.line(1000, 100, 1100, 1600, RGB(8, 8, 8));    // steeper than 45 degrees: one pixel a row
    EXPECT_EQ(find(s, kWhite).second, 0);
    EXPECT_EQ(find(s, RGB(4, 5, 6)), std::make_pair(QRect(10, 10, 11, 11), 121));
    EXPECT_EQ(find(s, RGB(7, 8, 9)).first, QRect(40, 60, 10, 1));
    EXPECT_EQ(find(s, RGB(8, 8, 8)).second, 101);
    const float huge = std::numeric_limits<float>::max(), nan = std::numeric_limits<float>::quiet_NaN();
    s.line(-huge, -huge, huge, huge, RGB(5, 5, 5));
    s.filledBox(-huge, 2250, huge, huge, RGB(6, 6, 6));
    s.line(nan, 0, 100, 100, RGB(7, 7, 7));  // not a number: nothing
    s.setCurrentX(huge), s.setCurrentY(-huge), s.print("far away");
    EXPECT_EQ(find(s, RGB(6, 6, 6)).first, QRect(QPoint(0, 150), QPoint(532, 169)));
    EXPECT_EQ(find(s, RGB(7, 7, 7)).second, 0);
    two.line(4000, 0, 4000, 2550, RGB(9, 9, 9));  // at a device pixel ratio of 2, a pen is two pixels wide
    EXPECT_EQ(find(two, RGB(9, 9, 9)).first, QRect(533, 0, 2, 340));
}
