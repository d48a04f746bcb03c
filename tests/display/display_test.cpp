// The plot as a scan draws it, pixel by pixel: the graticule, a whole sweep
// (shade 140), then most of a second (220) over it, whose signal at 2 kHz has
// gone, in every style; and the scale strip's marks, one a kilohertz.

#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

using namespace qv7m;

TEST(Plot, AKnownTraceInEveryStyle) {
    const auto reading = [](int k, int sweep) -> int16_t {
        return k == 40 ? 200 : sweep == 1 && k >= 14 && k <= 24 ? 95 : 20 + k * 7 % 5;
    };
    const auto green = [](int g) { return RGB(0, g, 0); };
    const OleColor grid = RGB(80, 80, 80);
    const OleColor black = 0;
    // The style, and what is seen on a grid line before the trace, and after it on the carrier's top, where
    // the gone signal stood and on the floor only the first sweep reached.
    const std::tuple<int16_t, std::array<OleColor, 4>> cases[] = {{0, {grid, green(220), black, green(140)}},
                                                                  {1, {grid, green(220), black, green(140)}},
                                                                  {2, {black, green(200), green(20), green(20)}}};
    for (const auto& [style, want] : cases) {
        ImageSurface plot(8000, 2550, black, 0x00E0E0E0);
        ImageSurface strip(8000, 150, black, 0);
        const auto at = [&](double x, double y) { return plot.pixel(plot.toPixel(x), plot.toPixel(y)); };
        double span = 0;
        double prev = 0;
        paintGraticule(plot, strip, "10", style, span);
        EXPECT_EQ(span, 1000);
        EXPECT_EQ(at(4500, 2380), want[0]) << style << ": a grid line";
        EXPECT_EQ(at(4000, 100), RGB(100, 100, 100)) << style << ": the centre line";
        for (int sweep : {1, 2})
            for (int k = 0; k < (sweep == 1 ? 81 : 55); prev = reading(k++, sweep))
                drawPoint(plot, {k * 100.0, 50, k ? k * 100.0 - 100 : 0, prev, reading(k, sweep),
                                 int16_t(sweep == 1 ? 140 : 220), style});
        EXPECT_EQ(at(4000, 550), want[1]) << style << ": the carrier's top";
        EXPECT_EQ(at(2000, 1700), want[2]) << style << ": where the gone signal stood";
        EXPECT_EQ(at(6000, 2350), want[3]) << style << ": the floor only the first sweep reached";
        EXPECT_EQ(at(5455, 1000), RGB(200, 200, 200)) << style << ": the cursor right of the last point";
        int marks = 0;  // columns lit in the strip; the mark at its right edge, 8000 twips, lies just outside
        for (int x = 0; x < strip.image().width(); ++x) marks += strip.pixel(x, 5) == RGB(255, 255, 255);
        EXPECT_EQ(marks, 10);
        EXPECT_EQ(strip.pixel(strip.toPixel(800), 5), RGB(255, 255, 255));
    }
}
