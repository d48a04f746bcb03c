// Pixel tests of the real backing image: where twips land, what colour the
// trace and graticule leave there, and that everything is clipped.
#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

using namespace qv7m;

namespace {

constexpr OleColor kBlack = RGB(0, 0, 0);
constexpr OleColor kCursor = RGB(200, 200, 200);

ImageSurface plot(qreal ratio = 1.0) { return ImageSurface(8000, 2550, kBlack, 0x00E0E0E0, QFont(), ratio); }

// The bounding box of the pixels of one colour, or (with lit) of all but it.
QRect extentOf(const ImageSurface& s, OleColor c, bool lit = false) {
    QRect r;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            if ((s.pixel(x, y) == c) != lit) r |= QRect(x, y, 1, 1);
    return r;
}

int count(const ImageSurface& s, OleColor c) {
    int n = 0;
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x) n += s.pixel(x, y) == c;
    return n;
}

}  // namespace

TEST(ImageSurface, SizeInDevicePixelsWithTheFarEdgesOutside) {
    ImageSurface s = plot();
    EXPECT_EQ(s.image().size(), QSize(533, 170));
    EXPECT_EQ(count(s, kBlack), 533 * 170);  // a new box shows its background
    EXPECT_EQ(s.toPixel(14.99), 0);
    EXPECT_EQ(s.toPixel(15), 1);
    EXPECT_EQ(s.toPixel(-0.5), -1);
    s.Line(8000, 0, 8000, 2550, RGB(255, 255, 255));  // x = Width
    s.Line(0, 2550, 8000, 2550, RGB(255, 255, 255));  // y = Height
    EXPECT_TRUE(extentOf(s, kBlack, true).isNull());
    s.Line(7994, 0, 7994, 2550, RGB(255, 255, 255));
    EXPECT_EQ(extentOf(s, RGB(255, 255, 255)), QRect(532, 0, 1, 170));
}

TEST(ImageSurface, FilledBoxCoversThePixelsOfBothCornersAndBetweenReplacingWhatIsThere) {
    ImageSurface s = plot();
    s.FilledBox(150, 150, 299, 299, RGB(1, 2, 3));
    EXPECT_EQ(extentOf(s, RGB(1, 2, 3)), QRect(QPoint(10, 10), QPoint(19, 19)));
    EXPECT_EQ(count(s, RGB(1, 2, 3)), 100);
    s.FilledBox(300, 300, 150, 150, RGB(4, 5, 6));  // corners either way round
    EXPECT_EQ(extentOf(s, RGB(4, 5, 6)), QRect(QPoint(10, 10), QPoint(20, 20)));
    EXPECT_EQ(count(s, RGB(1, 2, 3)), 0);
    s.FilledBox(600, 900, 749, 900, RGB(7, 8, 9));  // no height: still one row, like its outline
    EXPECT_EQ(extentOf(s, RGB(7, 8, 9)), QRect(QPoint(40, 60), QPoint(49, 60)));
}

TEST(ImageSurface, LinesLightOnePixelPerStepIncludingBothEnds) {
    ImageSurface s = plot();
    s.Line(0, 0, 150, 75, RGB(9, 9, 9));  // pixel (0,0) to (10,5)
    EXPECT_EQ(count(s, RGB(9, 9, 9)), 11);
    for (int x = 0; x <= 10; ++x) EXPECT_EQ(s.pixel(x, (x + 1) / 2), RGB(9, 9, 9)) << x;  // halves round down
    ImageSurface r = plot();  // drawn backwards: the same pixels
    r.Line(150, 75, 0, 0, RGB(9, 9, 9));
    EXPECT_EQ(r.image(), s.image());
    ImageSurface steep = plot();  // steeper than 45 degrees: one pixel a row
    steep.Line(1000, 100, 1100, 1600, RGB(9, 9, 9));
    EXPECT_EQ(count(steep, RGB(9, 9, 9)), 101);
    EXPECT_EQ(steep.pixel(66, 6), RGB(9, 9, 9));
    EXPECT_EQ(steep.pixel(73, 106), RGB(9, 9, 9));
}

TEST(ImageSurface, ClipsAtTheEdgesAndSurvivesAbsurdCoordinates) {
    ImageSurface s = plot();
    s.FilledBox(-100, -100, 30, 30, RGB(1, 1, 1));
    EXPECT_EQ(extentOf(s, RGB(1, 1, 1)), QRect(0, 0, 3, 3));
    s.FilledBox(7900, 2500, 9000, 9000, RGB(2, 2, 2));
    EXPECT_EQ(extentOf(s, RGB(2, 2, 2)), QRect(QPoint(526, 166), QPoint(532, 169)));
    const QImage before = s.image();
    s.FilledBox(-500, 0, -16, 2550, RGB(3, 3, 3));  // wholly left
    s.Line(0, -30, 8000, -30, RGB(3, 3, 3));        // wholly above
    EXPECT_EQ(s.image(), before);

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
    EXPECT_EQ(extentOf(s, RGB(4, 4, 4)).width(), 533);
    EXPECT_EQ(extentOf(s, RGB(6, 6, 6)), QRect(QPoint(0, 150), QPoint(532, 169)));
    EXPECT_EQ(count(s, RGB(7, 7, 7)), 0);
}

TEST(ImageSurface, ClsAndPrint) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 255, 0));
    s.setCurrentX(100);
    s.setBackColor(RGB(10, 20, 30));
    s.Cls();
    EXPECT_EQ(count(s, RGB(10, 20, 30)), 533 * 170);
    EXPECT_EQ(s.CurrentX(), 0.0f);

    s.setCurrentX(1500);
    s.setCurrentY(600);
    s.Print("+20dB");
    const double lh = s.lineHeightTwips();
    EXPECT_GT(lh, 100);
    EXPECT_LT(lh, 400);
    EXPECT_EQ(s.CurrentX(), 0.0f);  // the line ended
    EXPECT_FLOAT_EQ(s.CurrentY(), float(600 + lh));
    // Top-left at the print position (100, 40), within one line, in the light grey.
    const QRect lit = extentOf(s, RGB(10, 20, 30), true);
    EXPECT_GE(lit.left(), 100);
    EXPECT_LE(lit.left(), 103);
    EXPECT_GE(lit.top(), 40);
    EXPECT_LE(lit.bottom(), 40 + lh / 15);
    EXPECT_GT(count(s, 0x00E0E0E0), 5);
}

// The trace and graticule as they land on the image.

TEST(ImageSurfacePlot, AreaBarAndCursor) {
    ImageSurface s = plot();
    drawPoint(s, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    // Bar x 3950..4050 -> columns 263..270, top y 1550 -> row 103; the
    // cursor at 4055 lies in column 270 too and covers it.
    EXPECT_EQ(extentOf(s, RGB(0, 220, 0)), QRect(QPoint(263, 103), QPoint(269, 169)));
    EXPECT_EQ(count(s, RGB(0, 220, 0)), 7 * 67);
    EXPECT_EQ(extentOf(s, kCursor), QRect(270, 0, 1, 170));
    EXPECT_EQ(count(s, kCursor), 170);
}

TEST(ImageSurfacePlot, WaterfallColumnAndLineOverAnOlderSweep) {
    ImageSurface s = plot();
    s.FilledBox(0, 0, 8000, 2550, RGB(0, 140, 0));  // the previous sweep
    drawPoint(s, PointInputs{1000, 50, 900, 0, 200, 220, 2});
    // Column 950..1050 -> 63..70, cursor at 1055 -> 70.
    EXPECT_EQ(extentOf(s, RGB(0, 200, 0)), QRect(QPoint(63, 0), QPoint(69, 169)));
    EXPECT_EQ(extentOf(s, kCursor), QRect(70, 0, 1, 170));
    EXPECT_EQ(s.pixel(71, 0), RGB(0, 140, 0));

    drawPoint(s, PointInputs{3000, 100, 2800, 50, 150, 220, 1});
    // Erase 2900..3100 -> columns 193..206; line from (2800, 2050) to (3000, 1050); cursor at 3105.
    EXPECT_EQ(s.pixel(193, 10), kBlack);
    EXPECT_EQ(s.pixel(206, 10), kBlack);
    EXPECT_EQ(s.pixel(192, 10), RGB(0, 140, 0));
    EXPECT_EQ(s.pixel(200, 70), RGB(0, 220, 0));
    EXPECT_EQ(s.pixel(207, 10), kCursor);
}

TEST(ImageSurfacePlot, GridCentreLineLabelsAndMarks) {
    ImageSurface p1 = plot();
    ImageSurface p2(8000, 150, kBlack, 0x00E0E0E0);
    double span = 0;
    paintGraticule(p1, p2, "10", 0, span);
    // Grid line i = 14 at y 2380 -> row 158; i = 2 at 340 -> row 22.
    EXPECT_EQ(p1.pixel(300, 158), RGB(80, 80, 80));
    EXPECT_EQ(p1.pixel(532, 22), RGB(80, 80, 80));
    EXPECT_EQ(p1.pixel(300, 157), kBlack);
    // Centre line at 4000 -> column 266; the grid, drawn after it, wins the crossing.
    EXPECT_EQ(p1.pixel(266, 0), RGB(100, 100, 100));
    EXPECT_EQ(p1.pixel(266, 158), RGB(80, 80, 80));
    // Labels: light text at the left, from the top label (row 16) down to the lowest.
    QRect text;
    for (int y = 0; y < 170; ++y)
        for (int x = 0; x < 533; ++x)
            if (qGreen(p1.image().pixel(x, y)) > 120) text |= QRect(x, y, 1, 1);
    EXPECT_LT(text.right(), 60);
    EXPECT_GE(text.top(), 16);
    EXPECT_GT(text.bottom(), 152);
    // Ten white marks; the eleventh at x = Width is outside.
    std::vector<int> cols;
    for (int x = 0; x < 533; ++x)
        if (p2.pixel(x, 5) == RGB(255, 255, 255)) cols.push_back(x);
    EXPECT_EQ(cols, (std::vector<int>{0, 53, 106, 160, 213, 266, 320, 373, 426, 480}));
    EXPECT_EQ(count(p2, RGB(255, 255, 255)), 10 * 10);
}

TEST(ImageSurfacePlot, RatioTwoPutsTheSameTwipsOnTwiceThePixels) {
    ImageSurface s = plot(2.0);
    EXPECT_EQ(s.image().size(), QSize(1066, 340));
    EXPECT_EQ(s.image().devicePixelRatio(), 2.0);
    ImageSurface one = plot();
    one.FilledBox(150, 150, 300, 300, RGB(1, 2, 3));
    s.FilledBox(150, 150, 300, 300, RGB(1, 2, 3));
    EXPECT_EQ(extentOf(s, RGB(1, 2, 3)).size(), 2 * extentOf(one, RGB(1, 2, 3)).size());
    // Lines are one screen pixel wide: two device pixels. The edges stay outside.
    s.Line(4000, 0, 4000, 2550, RGB(100, 100, 100));
    s.Line(8000, 0, 8000, 2550, RGB(255, 255, 255));
    EXPECT_EQ(extentOf(s, RGB(100, 100, 100)), QRect(533, 0, 2, 340));
    EXPECT_EQ(count(s, RGB(255, 255, 255)), 0);
    ImageSurface bar = plot(2.0);
    drawPoint(bar, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    EXPECT_EQ(extentOf(bar, RGB(0, 220, 0)), QRect(QPoint(526, 206), QPoint(539, 339)));
    EXPECT_EQ(extentOf(bar, kCursor), QRect(540, 0, 2, 340));
    // Text: twice the pixels, the same twips.
    ImageSurface t1 = plot(), t2 = plot(2.0);
    for (ImageSurface* t : {&t1, &t2}) t->setCurrentX(1500), t->setCurrentY(600), t->Print(" S 9");
    const QRect a = extentOf(t1, kBlack, true), b = extentOf(t2, kBlack, true);
    EXPECT_NEAR(b.top(), 2 * a.top(), 3);
    EXPECT_NEAR(b.height(), 2 * a.height(), 4);
    EXPECT_EQ(t1.lineHeightTwips(), t2.lineHeightTwips());
}

TEST(ImageSurfacePlot, ChangingTheRatioKeepsWhatWasDrawn) {
    ImageSurface s = plot();
    drawPoint(s, PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    const uint64_t changes = s.changeCount();
    s.setDevicePixelRatio(2.0);
    EXPECT_GT(s.changeCount(), changes);  // the widget must show the new image
    EXPECT_EQ(s.image().size(), QSize(1066, 340));
    EXPECT_EQ(extentOf(s, RGB(0, 220, 0)), QRect(QPoint(526, 206), QPoint(539, 339)));
    s.Line(150, 0, 150, 2550, RGB(5, 5, 5));  // new drawing at the new resolution
    EXPECT_EQ(extentOf(s, RGB(5, 5, 5)), QRect(20, 0, 2, 340));
}
