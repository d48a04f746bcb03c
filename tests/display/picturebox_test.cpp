// The picture box on Qt's offscreen platform: when it raises the Paint event,
// and that it shows its backing image unchanged. Built a second time with
// QV7M_SCALE_FACTOR = 2 (the test main sets Qt's scale factor) for a device
// pixel ratio of 2.
#include "app/picturebox.h"
#include "display/trace.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

using namespace qv7m;

static void settle() {
    for (int k = 0; k < 5; ++k) QTest::qWait(10);
}

static QImage shown(PictureBox& box) { return box.grab().toImage().convertToFormat(QImage::Format_RGB32); }

#ifndef QV7M_SCALE_FACTOR
TEST(PictureBox, PaintOnShowAndReExposeOverTheBoxNeverForItsOwnDrawingAndTheTraceSurvives) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QWidget;
    other->setFixedSize(533, 100);
    layout->addWidget(other);
    auto* box = new PictureBox(8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont());
    layout->addWidget(box);
    EXPECT_EQ(box->size(), QSize(533, 170));
    int painted = 0;
    box->onPaint = [&] {  // draws, as the graticule does
        ++painted;
        box->surface().Line(0, 1360, 8000, 1360, RGB(80, 80, 80));  // a grid line, row 90
    };
    const auto expose = [&](const QRect& r, int times) {
        QExposeEvent e{QRegion(r)};
        for (int k = 0; k < times; ++k) QApplication::sendEvent(window.windowHandle(), &e);
        settle();
    };
    settle();
    EXPECT_EQ(painted, 0);  // not before it is on screen
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    ASSERT_EQ(painted, 1);
    for (int k = 0; k <= 80; ++k) {
        drawPoint(box->surface(), PointInputs{k * 100.0, 50, k * 100.0 - 100, 50, int16_t(k), 220, 0});
        QApplication::processEvents();
    }
    box->repaint();
    expose(other->geometry(), 1);  // not over the box
    EXPECT_EQ(painted, 1);
    // Shown as drawn: the grid line wiped by the trace and not drawn again.
    EXPECT_EQ(shown(*box), box->surface().image());
    EXPECT_EQ(box->surface().pixel(266, 90), RGB(0, 0, 0));

    expose(box->geometry().adjusted(10, 10, -10, -10), 2);  // in a row: one Paint event
    EXPECT_EQ(painted, 2);
    box->hide();  // hidden and shown again inside a window on screen
    settle();
    box->show();
    settle();
    EXPECT_EQ(painted, 3);
    window.showMinimized();
    settle();
    EXPECT_EQ(painted, 3);
    window.showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    EXPECT_EQ(painted, 4);
    // The trace is still there, with the grid line drawn over it.
    EXPECT_EQ(shown(*box), box->surface().image());
    EXPECT_EQ(box->surface().pixel(266, 160), RGB(0, 220, 0));
    EXPECT_EQ(box->surface().pixel(266, 90), RGB(80, 80, 80));
}
#else
// Twips stay twips, and the image of twice the pixels each way is shown pixel for pixel.
TEST(PictureBoxRatio2, SharpImageAtTwiceThePixels) {
    PictureBox box(8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont());
    ASSERT_EQ(box.devicePixelRatioF(), 2.0) << "the scale factor did not take";
    int painted = 0;
    box.onPaint = [&] { ++painted; };
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    settle();
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(box.size(), QSize(533, 170));  // logical pixels
    EXPECT_EQ(box.surface().image().size(), QSize(1066, 340));
    drawPoint(box.surface(), PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    box.surface().Line(150, 0, 150, 2550, RGB(80, 80, 80));
    QApplication::processEvents();
    EXPECT_EQ(box.grab().devicePixelRatio(), 2.0);
    EXPECT_EQ(shown(box), box.surface().image());  // no scaling, no smoothing
}
#endif
