// The picture box at a device pixel ratio of 2 (the test main sets Qt's scale
// factor): twips stay twips, and the image of twice the pixels each way is
// shown pixel for pixel.
#include "app/picturebox.h"
#include "display/trace.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace qv7m;

TEST(PictureBoxRatio2, SharpImageAtTwiceThePixels) {
    PictureBox box(8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont());
    ASSERT_EQ(box.devicePixelRatioF(), 2.0) << "the scale factor did not take";
    int painted = 0;
    box.onPaint = [&] { ++painted; };
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::qWait(20);
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(box.size(), QSize(533, 170));  // logical pixels
    EXPECT_EQ(box.surface().image().size(), QSize(1066, 340));
    EXPECT_EQ(box.surface().Width(), 8000);
    drawPoint(box.surface(), PointInputs{4000, 50, 3900, 0, 100, 220, 0});
    box.surface().Line(150, 0, 150, 2550, RGB(80, 80, 80));
    QApplication::processEvents();
    const QPixmap shot = box.grab();
    EXPECT_EQ(shot.devicePixelRatio(), 2.0);
    EXPECT_EQ(shot.toImage().convertToFormat(QImage::Format_RGB32), box.surface().image());  // no scaling, no smoothing
}
