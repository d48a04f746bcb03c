// Pixel tests of the real backing image: where twips land, what colour the
// trace and graticule leave there, and that everything is clipped.
#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <set>

using namespace qv7m;

namespace {

constexpr OleColor kBlack = RGB(0, 0, 0);
constexpr OleColor kFore = 0x00E0E0E0;

ImageSurface plot(qreal ratio = 1.0) { return ImageSurface(8000, 2550, kBlack, kFore, QFont(), ratio); }

// The lit pixels (not the background) inside a rectangle of device pixels.
int countNot(const ImageSurface& s, OleColor back, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
    if (x1 < 0) x1 = s.image().width() - 1;
    if (y1 < 0) y1 = s.image().height() - 1;
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += s.pixel(x, y) != back;
    return n;
}

// The bounding box of all pixels of one colour.
QRect extentOf(const ImageSurface& s, OleColor c) {
    QRect r;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            if (s.pixel(x, y) == c) r |= QRect(x, y, 1, 1);
    return r;
}

// The bounding box of every pixel that is not the background.
QRect litRect(const ImageSurface& s, OleColor back) {
    QRect r;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            if (s.pixel(x, y) != back) r |= QRect(x, y, 1, 1);
    return r;
}

}  // namespace

TEST(ImageSurface, SizeInDevicePixelsWithTheFarEdgesOutside) {
    ImageSurface s = plot();
    EXPECT_EQ(s.image().size(), QSize(533, 170));
    EXPECT_EQ(s.image().devicePixelRatio(), 1.0);
    EXPECT_EQ(countNot(s, kBlack), 0);  // a new box shows its background
    EXPECT_EQ(s.toPixel(0), 0);
    EXPECT_EQ(s.toPixel(14.99), 0);
    EXPECT_EQ(s.toPixel(15), 1);
    EXPECT_EQ(s.toPixel(-0.5), -1);
    // Primitives at x = Width or y = Height fall just outside.
    s.Line(8000, 0, 8000, 2550, RGB(255, 255, 255));
    s.Line(0, 2550, 8000, 2550, RGB(255, 255, 255));
    EXPECT_EQ(countNot(s, kBlack), 0);
    s.Line(7994, 0, 7994, 2550, RGB(255, 255, 255));
    EXPECT_EQ(countNot(s, kBlack), 170);
    EXPECT_EQ(extentOf(s, RGB(255, 255, 255)), QRect(532, 0, 1, 170));
}

TEST(ImageSurface, FilledBoxCoversThePixelsOfBothCornersAndBetween) {
    ImageSurface s = plot();
    s.FilledBox(150, 150, 299, 299, RGB(1, 2, 3));
    EXPECT_EQ(extentOf(s, RGB(1, 2, 3)), QRect(QPoint(10, 10), QPoint(19, 19)));
    EXPECT_EQ(countNot(s, kBlack), 100);
    s.FilledBox(300, 300, 150, 150, RGB(4, 5, 6));  // corners either way round
    EXPECT_EQ(extentOf(s, RGB(4, 5, 6)), QRect(QPoint(10, 10), QPoint(20, 20)));
    // A box of no height is still one pixel row, like its outline.
    s.FilledBox(600, 900, 749, 900, RGB(7, 8, 9));
    EXPECT_EQ(extentOf(s, RGB(7, 8, 9)), QRect(QPoint(40, 60), QPoint(49, 60)));
}

TEST(ImageSurface, PrimitivesReplaceWhatIsThere) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 1500, 1500, RGB(0, 255, 0));
    s.Line(0, 750, 1500, 750, RGB(80, 80, 80));
    s.FilledBox(300, 0, 300, 1500, kBlack);
    EXPECT_EQ(s.pixel(5, 50), RGB(80, 80, 80));
    EXPECT_EQ(s.pixel(5, 49), RGB(0, 255, 0));
    EXPECT_EQ(s.pixel(20, 50), kBlack);
}

TEST(ImageSurface, LinesLightOnePixelPerStepIncludingBothEnds) {
    ImageSurface s = plot();
    s.Line(0, 0, 150, 75, RGB(9, 9, 9));  // pixel (0,0) to (10,5)
    std::set<std::pair<int, int>> lit;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (s.pixel(x, y) == RGB(9, 9, 9)) lit.insert({x, y});
    ASSERT_EQ(lit.size(), 11u);  // one a column
    EXPECT_TRUE(lit.count({0, 0}));
    EXPECT_TRUE(lit.count({10, 5}));
    for (auto [x, y] : lit) EXPECT_LE(std::abs(2 * y - x), 1) << x << "," << y;  // next to the true line

    ImageSurface r = plot();  // the same line drawn backwards lights the same pixels
    r.Line(150, 75, 0, 0, RGB(9, 9, 9));
    EXPECT_EQ(r.image(), s.image());

    ImageSurface steep = plot();  // steeper than 45 degrees: one pixel a row
    steep.Line(1000, 100, 1100, 1600, RGB(9, 9, 9));
    EXPECT_EQ(countNot(steep, kBlack), 101);
    EXPECT_EQ(steep.pixel(66, 6), RGB(9, 9, 9));
    EXPECT_EQ(steep.pixel(73, 106), RGB(9, 9, 9));
}

TEST(ImageSurface, ClipsAtTheEdgesAndSurvivesAbsurdCoordinates) {
    ImageSurface s = plot();
    s.FilledBox(-100, -100, 30, 30, RGB(1, 1, 1));
    EXPECT_EQ(extentOf(s, RGB(1, 1, 1)), QRect(0, 0, 3, 3));
    s.FilledBox(7900, 2500, 9000, 9000, RGB(2, 2, 2));
    EXPECT_EQ(extentOf(s, RGB(2, 2, 2)), QRect(QPoint(526, 166), QPoint(532, 169)));
    const auto before = s.image();
    s.FilledBox(-500, 0, -16, 2550, RGB(3, 3, 3));  // wholly left of the box
    s.Line(0, -30, 8000, -30, RGB(3, 3, 3));      // wholly above
    s.Line(9000, 0, 9000, 2550, RGB(3, 3, 3));    // wholly right
    EXPECT_EQ(s.image(), before);

    const float huge = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto start = std::chrono::steady_clock::now();
    s.Line(-huge, 1500, huge, 1500, RGB(4, 4, 4));
    s.Line(-huge, -huge, huge, huge, RGB(5, 5, 5));
    s.FilledBox(-huge, 2250, huge, huge, RGB(6, 6, 6));
    s.Line(nan, 0, 100, 100, RGB(7, 7, 7));
    s.FilledBox(0, 0, std::numeric_limits<float>::infinity(), 100, RGB(7, 7, 7));
    s.setCurrentX(huge);
    s.setCurrentY(-huge);
    s.Print("far away");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(extentOf(s, RGB(4, 4, 4)).width(), 533);
    EXPECT_EQ(extentOf(s, RGB(6, 6, 6)), QRect(QPoint(0, 150), QPoint(532, 169)));
    EXPECT_TRUE(extentOf(s, RGB(7, 7, 7)).isNull());
}

TEST(ImageSurface, ClsFillsWithTheBackgroundAndResetsThePrintPosition) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 255, 0));
    s.setCurrentX(100);
    s.setCurrentY(200);
    s.setBackColor(RGB(10, 20, 30));
    s.Cls();
    EXPECT_EQ(countNot(s, RGB(10, 20, 30)), 0);
    EXPECT_EQ(s.CurrentX(), 0.0f);
    EXPECT_EQ(s.CurrentY(), 0.0f);
}

TEST(ImageSurface, PrintPutsTheTextTopLeftAtThePrintPositionThenEndsTheLine) {
    ImageSurface s = plot();
    s.setCurrentX(1500);
    s.setCurrentY(600);
    s.Print("+20dB");
    const double lh = s.lineHeightTwips();
    EXPECT_GT(lh, 100);
    EXPECT_LT(lh, 400);
    EXPECT_EQ(s.CurrentX(), 0.0f);
    EXPECT_FLOAT_EQ(s.CurrentY(), float(600 + lh));
    // The text stays right of and below (100, 40), within a line's height.
    const QRect lit = litRect(s, kBlack);
    ASSERT_FALSE(lit.isNull());
    EXPECT_GE(lit.left(), 100);
    EXPECT_LE(lit.left(), 103);
    EXPECT_GE(lit.top(), 40);
    EXPECT_LE(lit.bottom(), 40 + lh / 15);
    EXPECT_GT(lit.width(), 15);
    // Light grey text: the brightest pixel is the foreground colour.
    int brightest = 0;
    for (int y = lit.top(); y <= lit.bottom(); ++y)
        for (int x = lit.left(); x <= lit.right(); ++x) brightest = std::max(brightest, int(s.pixel(x, y) & 0xFF));
    EXPECT_GE(brightest, 0xC0);
}

TEST(ImageSurface, ReportsEveryChange) {
    ImageSurface s = plot();
    int told = 0;
    s.setChangeHandler([&] { ++told; });
    s.Line(0, 0, 10, 10, RGB(1, 1, 1));
    s.FilledBox(0, 0, 10, 10, RGB(1, 1, 1));
    s.Print("x");
    s.Cls();
    s.setCurrentX(5);  // moves nothing on the image
    EXPECT_EQ(told, 4);
    EXPECT_EQ(s.changeCount(), 4u);
}

// The trace and graticule as they land on the image.

TEST(ImageSurfacePlot, AreaBarInTheTraceGreen) {
    ImageSurface s = plot();
    drawPoint(s, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    // Bar x 3950..4050 -> columns 263..270; top y 1550 -> row 103.
    EXPECT_EQ(s.pixel(263, 150), RGB(0, 220, 0));
    EXPECT_EQ(s.pixel(269, 103), RGB(0, 220, 0));
    EXPECT_EQ(s.pixel(269, 169), RGB(0, 220, 0));
    EXPECT_EQ(s.pixel(266, 102), kBlack);
    EXPECT_EQ(s.pixel(262, 150), kBlack);
    // The cursor, 5 twips right of the column (4055 -> column 270), covers its last column.
    for (int y : {0, 50, 103, 169}) EXPECT_EQ(s.pixel(270, y), RGB(200, 200, 200)) << y;
    EXPECT_EQ(s.pixel(271, 50), kBlack);
    EXPECT_EQ(countNot(s, kBlack), 7 * 67 + 170);
}

TEST(ImageSurfacePlot, WaterfallColumnAndCursor) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 99, 0));  // an older sweep
    drawPoint(s, PointInputs{1000, 40, 0, 0, 200, 140, 2});
    // Column 960..1040 -> 64..69, cursor at 1045 -> 69.
    for (int y : {0, 85, 169}) {
        EXPECT_EQ(s.pixel(64, y), RGB(0, 200, 0));
        EXPECT_EQ(s.pixel(68, y), RGB(0, 200, 0));
        EXPECT_EQ(s.pixel(69, y), RGB(200, 200, 200));
        EXPECT_EQ(s.pixel(63, y), RGB(0, 99, 0));
        EXPECT_EQ(s.pixel(70, y), RGB(0, 99, 0));
    }
}

TEST(ImageSurfacePlot, ErasedColumnAndLineSegment) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 140, 0));
    drawPoint(s, PointInputs{3000, 100, 2800, 50, 150, 220, 1});
    // Erase 2900..3100 -> columns 193..206, then the line from (2800, 2050) to (3000, 1050).
    EXPECT_EQ(s.pixel(193, 10), kBlack);
    EXPECT_EQ(s.pixel(206, 10), kBlack);
    EXPECT_EQ(s.pixel(192, 10), RGB(0, 140, 0));
    EXPECT_EQ(s.pixel(200, 70), RGB(0, 220, 0));  // the new point (3000/15, 1050/15)
    EXPECT_EQ(s.pixel(207, 10), RGB(200, 200, 200));  // cursor at 3105, just right of the column
    EXPECT_EQ(s.pixel(208, 10), RGB(0, 140, 0));
}

TEST(ImageSurfacePlot, GridCentreLineAndLabels) {
    ImageSurface p1 = plot();
    ImageSurface p2(8000, 150, kBlack, kFore);
    double span = 0;
    paintGraticule(p1, p2, "10", 0, span);
    // Grid line i = 14 at y 2380 -> row 158; i = 2 at 340 -> row 22.
    EXPECT_EQ(p1.pixel(300, 158), RGB(80, 80, 80));
    EXPECT_EQ(p1.pixel(532, 22), RGB(80, 80, 80));
    EXPECT_EQ(p1.pixel(300, 157), kBlack);
    // Centre line at 4000 -> column 266; the grid drawn after it wins the crossing.
    EXPECT_EQ(p1.pixel(266, 0), RGB(100, 100, 100));
    EXPECT_EQ(p1.pixel(266, 169), RGB(100, 100, 100));
    EXPECT_EQ(p1.pixel(266, 158), RGB(80, 80, 80));
    // Some label text left of x = 60, around each label's line.
    for (int top : {152, 129, 106, 84, 61, 38, 16})
        EXPECT_GT(countNot(p1, kBlack, 0, top, 60, top + 12) - countNot(p1, kBlack, 0, top, 0, top + 12), 61) << top;
    // Ten white marks a 53.3 pixels apart; the eleventh at x = Width is outside.
    std::vector<int> cols;
    for (int x = 0; x < 533; ++x)
        if (p2.pixel(x, 5) == RGB(255, 255, 255)) cols.push_back(x);
    EXPECT_EQ(cols, (std::vector<int>{0, 53, 106, 160, 213, 266, 320, 373, 426, 480}));
    EXPECT_EQ(countNot(p2, kBlack), 10 * 10);
}

TEST(ImageSurfacePlot, RatioTwoPutsTheSameTwipsOnTwiceThePixels) {
    ImageSurface s = plot(2.0);
    EXPECT_EQ(s.image().size(), QSize(1066, 340));
    EXPECT_EQ(s.image().devicePixelRatio(), 2.0);
    EXPECT_EQ(s.penPixels(), 2);
    s.FilledBox(150, 150, 299, 299, RGB(1, 2, 3));
    // A box: pixels of both corners, the higher one widened by the two-pixel pen.
    EXPECT_EQ(extentOf(s, RGB(1, 2, 3)), QRect(QPoint(20, 20), QPoint(40, 40)));
    ImageSurface one = plot();
    one.FilledBox(150, 150, 300, 300, RGB(1, 2, 3));
    ImageSurface two = plot(2.0);
    two.FilledBox(150, 150, 300, 300, RGB(1, 2, 3));
    EXPECT_EQ(extentOf(one, RGB(1, 2, 3)).size() * 2, extentOf(two, RGB(1, 2, 3)).size());
    // Lines are one screen pixel wide: two device pixels.
    two.Line(4000, 0, 4000, 2550, RGB(100, 100, 100));
    EXPECT_EQ(extentOf(two, RGB(100, 100, 100)), QRect(533, 0, 2, 340));
    // The edges stay outside.
    two.Line(8000, 0, 8000, 2550, RGB(255, 255, 255));
    EXPECT_TRUE(extentOf(two, RGB(255, 255, 255)).isNull());
    // The area bar of the same point, at twice the pixels.
    ImageSurface bar = plot(2.0);
    drawPoint(bar, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    EXPECT_EQ(extentOf(bar, RGB(0, 220, 0)), QRect(QPoint(526, 206), QPoint(539, 339)));
    EXPECT_EQ(extentOf(bar, RGB(200, 200, 200)), QRect(QPoint(540, 0), QPoint(541, 339)));
}

TEST(ImageSurfacePlot, TextScalesWithTheRatio) {
    ImageSurface one = plot();
    ImageSurface two = plot(2.0);
    for (ImageSurface* s : {&one, &two}) {
        s->setCurrentX(1500);
        s->setCurrentY(600);
        s->Print(" S 9");
    }
    const QRect a = litRect(one, kBlack), b = litRect(two, kBlack);
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    EXPECT_GE(b.left(), 200);
    EXPECT_GE(b.top(), 80);
    EXPECT_NEAR(b.height(), 2 * a.height(), 4);
    EXPECT_NEAR(b.width(), 2 * a.width(), 4);
    EXPECT_EQ(one.lineHeightTwips(), two.lineHeightTwips());  // twips do not change
}

TEST(ImageSurfacePlot, ChangingTheRatioKeepsWhatWasDrawn) {
    ImageSurface s = plot();
    drawPoint(s, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    s.setDevicePixelRatio(2.0);
    EXPECT_EQ(s.image().size(), QSize(1066, 340));
    EXPECT_EQ(s.pixel(2 * 265, 2 * 150), RGB(0, 220, 0));
    EXPECT_EQ(s.pixel(2 * 270, 2 * 50), RGB(200, 200, 200));
    EXPECT_EQ(s.pixel(2 * 262, 2 * 150), kBlack);
    // And new drawing lands at the new resolution.
    s.Line(150, 0, 150, 2550, RGB(5, 5, 5));
    EXPECT_EQ(extentOf(s, RGB(5, 5, 5)), QRect(20, 0, 2, 340));
}
