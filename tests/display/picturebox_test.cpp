// The picture box on Qt's offscreen platform: when it raises the Paint event,
// and that it shows its backing image unchanged.
#include "app/picturebox.h"
#include "display/trace.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

using namespace qv7m;

namespace {

constexpr OleColor kBlack = RGB(0, 0, 0);

std::unique_ptr<PictureBox> plotBox(int* painted) {
    auto box = std::make_unique<PictureBox>(8000, 2550, kBlack, 0x00E0E0E0, QFont());
    box->onPaint = [painted] { ++*painted; };
    return box;
}

void settle() {
    for (int k = 0; k < 5; ++k) {
        QApplication::processEvents();
        QTest::qWait(10);
    }
}

OleColor shown(PictureBox& box, int x, int y) {
    const QImage img = box.grab().toImage();
    const QRgb c = img.pixel(x, y);
    return RGB(qRed(c), qGreen(c), qBlue(c));
}

}  // namespace

TEST(PictureBox, SizedInTwipsAndShowsItsImage) {
    int painted = 0;
    auto box = plotBox(&painted);
    EXPECT_EQ(box->size(), QSize(533, 170));
    EXPECT_EQ(box->surface().Width(), 8000);
    EXPECT_EQ(box->surface().Height(), 2550);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    drawPoint(box->surface(), PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    settle();
    EXPECT_EQ(shown(*box, 265, 150), RGB(0, 220, 0));
    EXPECT_EQ(shown(*box, 270, 10), RGB(200, 200, 200));
    EXPECT_EQ(shown(*box, 100, 100), kBlack);
    EXPECT_EQ(box->grab().toImage().convertToFormat(QImage::Format_RGB32), box->surface().image());
}

TEST(PictureBox, PaintEventOnFirstShowOnly) {
    int painted = 0;
    auto box = plotBox(&painted);
    settle();
    EXPECT_EQ(painted, 0);  // not before it is on screen
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    settle();
    EXPECT_EQ(painted, 1);
}

TEST(PictureBox, OwnDrawingDoesNotRaisePaint) {
    int painted = 0;
    auto box = plotBox(&painted);
    // The hook draws, as the graticule does; that must not raise it again.
    box->onPaint = [&] {
        ++painted;
        box->surface().Line(4000, 0, 4000, 2550, RGB(100, 100, 100));
    };
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    settle();
    ASSERT_EQ(painted, 1);
    for (int k = 0; k < 80; ++k) {
        drawPoint(box->surface(), PointInputs{k * 100.0, 50, k * 100.0 - 100, 50, int16_t(k), 220, 0});
        QApplication::processEvents();
    }
    box->repaint();
    settle();
    EXPECT_EQ(painted, 1);
    // The hook's centre line was wiped by the trace and not drawn again.
    EXPECT_EQ(shown(*box, 266, 5), kBlack);
    EXPECT_EQ(shown(*box, 266, 160), RGB(0, 220, 0));
    EXPECT_EQ(shown(*box, 530, 5), RGB(200, 200, 200));  // the last cursor
}

TEST(PictureBox, ReExposeRaisesPaintAndTheTraceSurvives) {
    int painted = 0;
    auto box = plotBox(&painted);
    box->onPaint = [&] {
        ++painted;
        box->surface().Line(0, 1360, 8000, 1360, RGB(80, 80, 80));  // a grid line
    };
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    drawPoint(box->surface(), PointInputs{1000, 50, 900, 0, 200, 220, 2});
    settle();
    ASSERT_EQ(painted, 1);

    box->hide();
    settle();
    EXPECT_EQ(painted, 1);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    settle();
    EXPECT_EQ(painted, 2);
    // The waterfall column is still there, with the grid line drawn over it.
    EXPECT_EQ(shown(*box, 65, 20), RGB(0, 200, 0));
    EXPECT_EQ(shown(*box, 65, 90), RGB(80, 80, 80));
    EXPECT_EQ(shown(*box, 70, 20), RGB(200, 200, 200));

    box->showMinimized();
    settle();
    EXPECT_EQ(painted, 2);
    box->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    settle();
    EXPECT_EQ(painted, 3);
    EXPECT_EQ(shown(*box, 65, 20), RGB(0, 200, 0));
}

TEST(PictureBox, ExposeOfTheWindowOverTheBox) {
    int painted = 0;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QWidget;
    other->setFixedSize(533, 100);
    layout->addWidget(other);
    auto* box = new PictureBox(8000, 2550, kBlack, 0x00E0E0E0, QFont());
    box->onPaint = [&] { ++painted; };
    layout->addWidget(box);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    EXPECT_EQ(painted, 1);

    QWindow* handle = window.windowHandle();
    ASSERT_NE(handle, nullptr);
    // Uncovering only the other widget leaves the plot alone.
    QExposeEvent aboveOnly(QRegion(other->geometry()));
    QApplication::sendEvent(handle, &aboveOnly);
    settle();
    EXPECT_EQ(painted, 1);
    QExposeEvent overPlot(QRegion(box->geometry().adjusted(10, 10, -10, -10)));
    QApplication::sendEvent(handle, &overPlot);
    settle();
    EXPECT_EQ(painted, 2);

    // A box hidden and shown again inside a window on screen is painted anew.
    box->hide();
    settle();
    box->show();
    settle();
    EXPECT_EQ(painted, 3);
}
