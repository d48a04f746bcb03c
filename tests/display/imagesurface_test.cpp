// Pixel tests of the real backing image: where twips land, what colour the
// trace and graticule leave there, and that everything is clipped.
#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <limits>

using namespace qv7m;

namespace {

constexpr OleColor kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kCursor = RGB(200, 200, 200);

ImageSurface plot(qreal ratio = 1.0) { return ImageSurface(8000, 2550, kBlack, 0x00E0E0E0, QFont(), ratio); }

// The bounding box and number of the pixels of one colour, or (with lit) of all but it.
std::pair<QRect, int> find(const ImageSurface& s, OleColor c, bool lit = false) {
    std::pair<QRect, int> r;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            if ((s.pixel(x, y) == c) != lit) r.first |= QRect(x, y, 1, 1), ++r.second;
    return r;
}

}  // namespace

TEST(ImageSurface, TwipsLandOnTheirPixelsAndEverythingIsClipped) {
    ImageSurface s = plot();
    EXPECT_EQ(s.image().size(), QSize(533, 170));
    EXPECT_EQ(std::vector<int>({s.toPixel(14.99), s.toPixel(15), s.toPixel(-0.5)}), std::vector<int>({0, 1, -1}));
    s.Line(8000, 0, 8000, 2550, kWhite);            // x = Width
    s.Line(0, 2550, 8000, 2550, kWhite);            // y = Height
    s.FilledBox(-500, 0, -16, 2550, RGB(3, 3, 3));  // wholly left
    s.Line(0, -30, 8000, -30, RGB(3, 3, 3));        // wholly above
    EXPECT_TRUE(find(s, kBlack, true).first.isNull());
    s.FilledBox(150, 150, 299, 299, RGB(1, 2, 3));
    EXPECT_EQ(find(s, RGB(1, 2, 3)), std::make_pair(QRect(10, 10, 10, 10), 100));
    s.FilledBox(300, 300, 150, 150, RGB(4, 5, 6));  // corners either way round, over what is there
    EXPECT_EQ(find(s, RGB(4, 5, 6)), std::make_pair(QRect(10, 10, 11, 11), 121));
    s.FilledBox(600, 900, 749, 900, RGB(7, 8, 9));  // no height: still one row, like its outline
    s.FilledBox(-100, -100, 30, 30, RGB(1, 1, 1));
    s.FilledBox(7900, 2500, 9000, 9000, RGB(2, 2, 2));
    s.Line(0, 300, 150, 375, RGB(9, 9, 9));       // pixel (0,20) to (10,25), both ends
    s.Line(1000, 100, 1100, 1600, RGB(8, 8, 8));  // steeper than 45 degrees: one pixel a row
    EXPECT_EQ(find(s, RGB(7, 8, 9)).first, QRect(40, 60, 10, 1));
    EXPECT_EQ(find(s, RGB(1, 1, 1)).first, QRect(0, 0, 3, 3));
    EXPECT_EQ(find(s, RGB(2, 2, 2)).first, QRect(QPoint(526, 166), QPoint(532, 169)));
    EXPECT_EQ(find(s, RGB(9, 9, 9)).second, 11);
    EXPECT_EQ(find(s, RGB(8, 8, 8)).second, 101);

    const float huge = std::numeric_limits<float>::max(), nan = std::numeric_limits<float>::quiet_NaN();
    const auto start = std::chrono::steady_clock::now();
    s.Line(-huge, 1500, huge, 1500, RGB(4, 4, 4));
    s.Line(-huge, -huge, huge, huge, RGB(5, 5, 5));
    s.FilledBox(-huge, 2250, huge, huge, RGB(6, 6, 6));
    s.Line(nan, 0, 100, 100, RGB(7, 7, 7));  // not a number: nothing
    s.setCurrentX(huge);
    s.setCurrentY(-huge);
    s.Print("far away");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(find(s, RGB(4, 4, 4)).first.width(), 533);
    EXPECT_EQ(find(s, RGB(6, 6, 6)).first, QRect(QPoint(0, 150), QPoint(532, 169)));
    EXPECT_EQ(find(s, RGB(7, 7, 7)).second, 0);
}

TEST(ImageSurface, ClsAndPrint) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 255, 0));
    s.setCurrentX(100);
    s.setBackColor(RGB(10, 20, 30));
    s.Cls();
    EXPECT_EQ(find(s, RGB(10, 20, 30)).second, 533 * 170);
    EXPECT_EQ(s.CurrentX(), 0.0f);
    s.setCurrentX(1500);
    s.setCurrentY(600);
    s.Print("+20dB");
    const double lh = s.lineHeightTwips();
    EXPECT_TRUE(lh > 100 && lh < 400) << lh;
    EXPECT_EQ(s.CurrentX(), 0.0f);  // the line ended
    EXPECT_FLOAT_EQ(s.CurrentY(), float(600 + lh));
    // Top-left at the print position (100, 40), within one line, in the light grey.
    const QRect lit = find(s, RGB(10, 20, 30), true).first;
    EXPECT_TRUE(lit.left() >= 100 && lit.left() <= 103 && lit.top() >= 40 && lit.bottom() <= 40 + lh / 15) << lit.x() << "," << lit.y();
    EXPECT_GT(find(s, 0x00E0E0E0).second, 5);
}

TEST(ImageSurface, RatioTwoPutsTheSameTwipsOnTwiceThePixelsAndAChangeKeepsWhatWasDrawn) {
    ImageSurface s = plot(2.0), one = plot(), text = plot();
    EXPECT_EQ(s.image().size(), QSize(1066, 340));
    // Text: twice the pixels, the same twips.
    for (ImageSurface* t : {&s, &text}) t->setCurrentX(1500), t->setCurrentY(600), t->Print(" S 9");
    const QRect a = find(text, kBlack, true).first, b = find(s, kBlack, true).first;
    EXPECT_NEAR(b.top(), 2 * a.top(), 3);
    EXPECT_NEAR(b.height(), 2 * a.height(), 4);
    EXPECT_EQ(s.lineHeightTwips(), text.lineHeightTwips());
    // Pens are one screen pixel wide: two device pixels. The edges stay outside.
    s.FilledBox(150, 150, 300, 300, RGB(1, 2, 3));
    s.Line(4000, 0, 4000, 2550, RGB(100, 100, 100));
    s.Line(8000, 0, 8000, 2550, kWhite);
    EXPECT_EQ(find(s, RGB(1, 2, 3)).first, QRect(20, 20, 22, 22));
    EXPECT_EQ(find(s, RGB(100, 100, 100)).first, QRect(533, 0, 2, 340));
    EXPECT_EQ(find(s, kWhite).second, 0);

    // Moved to a screen of another ratio: what was drawn stays, new drawing is sharp.
    drawPoint(one, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    const uint64_t changes = one.changeCount();
    one.setDevicePixelRatio(2.0);
    EXPECT_GT(one.changeCount(), changes);  // the widget must show the new image
    EXPECT_EQ(one.image().size(), QSize(1066, 340));
    EXPECT_EQ(find(one, RGB(0, 220, 0)).first, QRect(QPoint(526, 206), QPoint(539, 339)));
    EXPECT_EQ(find(one, kCursor).first, QRect(540, 0, 2, 340));
    one.Line(150, 0, 150, 2550, RGB(5, 5, 5));
    EXPECT_EQ(find(one, RGB(5, 5, 5)).first, QRect(20, 0, 2, 340));
}

// A known band drawn as a scan draws it: the graticule, a whole sweep (shade
// 140), then most of a second (220) over it, in every style. The plots are
// written as PNGs to look at, to the folder $QV7M_PLOT_PNGS names.
TEST(ImageSurface, KnownTraceInEveryStyle) {
    // 81 points over 10 kHz: a noise floor, a strong carrier at the centre, and
    // an SSB signal that has gone by the second sweep.
    const auto reading = [](int k, int sweep) -> int16_t {
        return k == 40 ? 200 : sweep == 1 && k >= 14 && k <= 24 ? 95 : 20 + k * 7 % 5;
    };
    const OleColor g140 = RGB(0, 140, 0), g220 = RGB(0, 220, 0), g20 = RGB(0, 20, 0), g200 = RGB(0, 200, 0),
                   grid = RGB(80, 80, 80), centre = RGB(100, 100, 100);
    // Before the trace: a grid line and the centre line. After it: the top of
    // the carrier, where the gone signal stood, and the top of the floor where
    // only the first sweep reached (x 6000).
    const QPointF at[] = {{4500, 2380}, {4000, 100}, {4000, 550}, {2000, 1700}, {6000, 2350}};
    const struct {
        const char* name;
        int16_t style;
        qreal ratio;
        OleColor want[5];
    } cases[] = {{"area", 0, 1, {grid, centre, g220, kBlack, g140}},
                 {"line", 1, 1, {grid, centre, g220, kBlack, g140}},
                 {"waterfall", 2, 1, {kBlack, centre, g200, g20, g20}},
                 {"none", -1, 1, {grid, centre, kBlack, kBlack, kBlack}},
                 {"area-ratio2", 0, 2, {grid, centre, g220, kBlack, g140}},
                 {"waterfall-ratio2", 2, 2, {kBlack, centre, g200, g20, g20}}};
    const QString dir = qEnvironmentVariable("QV7M_PLOT_PNGS");  // CTest sets it to the build folder
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSurface p1 = plot(c.ratio), p2(8000, 150, kBlack, 0x00E0E0E0);
        const auto colourAt = [&](int i) { return p1.pixel(p1.toPixel(at[i].x()), p1.toPixel(at[i].y())); };
        double span = 0, prevMeter = 0;
        paintGraticule(p1, p2, "10", c.style, span);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(colourAt(i), c.want[i]) << i;
        for (int sweep : {1, 2})
            for (int k = 0; k < (sweep == 1 ? 81 : 55); ++k) {
                const int16_t m = reading(k, sweep);
                drawPoint(p1, PointInputs{k * 100.0, 50, k ? k * 100.0 - 100 : 0, prevMeter, m,
                                          int16_t(sweep == 1 ? 140 : 220), c.style});
                prevMeter = m;
            }
        for (int i = 2; i < 5; ++i) EXPECT_EQ(colourAt(i), c.want[i]) << i;
        EXPECT_EQ(p1.pixel(p1.toPixel(5455), p1.toPixel(1000)), kCursor);  // right of the last point drawn
        if (dir.isEmpty()) continue;
        const QString path = dir + "/plot-" + c.name + ".png";
        EXPECT_TRUE(p1.image().save(path)) << path.toStdString();
        std::printf("%s\n", qPrintable(path));
    }
}
