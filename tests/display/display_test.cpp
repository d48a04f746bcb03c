// SPDX-License-Identifier: GPL-3.0-or-later
// The plot as a scan draws it, pixel by pixel (15 twips a pixel): the trace
// against the readings it draws in every style, the scale's labels, and the
// spots' calls.

#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/spot_labels.h"
#include "display/trace.h"

#include <gtest/gtest.h>
#include <algorithm>

using namespace qv7m;

namespace {

OleColor green(int level) { return RGB(0, level, 0); }

}  // namespace

// A first sweep at 240 (shade 140), then most of a second (220) over it, its
// readings far apart from one column to the next. Column k spans 150 k to
// 150 (k + 1) twips (10 pixels) around its point; a reading m stands at
// y = 2550 - 10 m. Area: a bar from the bottom up to the reading; waterfall:
// the whole column in the reading's green; line: a segment from the previous
// point at its reading to this one at its own. Each column is wiped before it
// is drawn, and the cursor stands right of the newest.
TEST(Plot, EachColumnAndSegmentStandsWhereItsReadingSays) {
    const auto reading = [](int k, int sweep) { return int16_t(sweep == 1 ? 240 : k % 2 ? 40 + k : 200 - k); };
    const int drawn = 40;
    for (int16_t style : {0, 1, 2}) {
        SCOPED_TRACE(style);
        ImageSurface plot(8000, 2550, 0, 0x00E0E0E0);
        const auto px = [&](double twips) { return plot.toPixel(twips); };
        for (int sweep : {1, 2}) {
            for (int k = 0; k < (sweep == 1 ? 53 : drawn); ++k) {
                const double prevX = k ? 150.0 * k - 75 : 0;
                const int16_t prev = k ? reading(k - 1, sweep) : 0;
                drawPoint(plot, {150.0 * k + 75, 75, prevX, double(prev), reading(k, sweep), int16_t(sweep * 80 + 60),
                                 style});
            }
        }
        int wrong = 0;  // pixels of the second sweep's columns other than the style says (area and waterfall)
        for (int x = 0; x < px(150 * (drawn - 1)) && style != 1; ++x) {
            for (int y = 0; y < plot.image().height(); ++y) {
                const int16_t m = reading(x / 10, 2);
                const OleColor want = style == 2 ? green(m) : y >= px(2550 - 10 * m) ? green(220) : 0;
                if (plot.pixel(x, y) != want && ++wrong == 1) ADD_FAILURE() << "first wrong pixel " << x << "," << y;
            }
        }
        EXPECT_EQ(wrong, 0);
        for (int k = 1; k < drawn && style == 1; ++k) {
            const double y = 2550 - 10 * reading(k, 2);
            const double middleY = 2550 - 5 * (reading(k, 2) + reading(k - 1, 2));
            EXPECT_EQ(plot.pixel(px(150 * k + 75), px(y)), green(220)) << "point " << k;
            EXPECT_EQ(plot.pixel(px(150 * k), px(middleY)), green(220)) << "half-way to point " << k;
            EXPECT_EQ(plot.pixel(px(150 * k + 75), px(150)), 0u) << "the first sweep, wiped at point " << k;
        }
        EXPECT_EQ(plot.pixel(px(150 * drawn + 5), 80), RGB(200, 200, 200)) << "the cursor right of the newest column";
        const int x = px(150 * 50 + 75);
        const OleColor firstSweep = style == 2 ? green(240) : green(140);
        EXPECT_EQ(plot.pixel(x, style == 1 ? px(150) : 160), firstSweep) << "the first sweep beyond the second";
    }
}

// The radio's meter reads S9 at 153 and 17 counts an S-unit; a reading is
// drawn 10 twips a count above the foot of the 2550-twip plot. Each label
// stands at the line of its own reading.
TEST(Plot, TheScaleLabelsSitAtTheirMeterReadings) {
    for (int line = 14; line >= 6; line -= 2) {
        const int reading = (2550 - 2550 * line / 15) / 10;
        const int sUnit = 9 - (153 - reading) / 17;
        EXPECT_EQ(levelLabel(line), QStringLiteral(" S %1").arg(sUnit)) << "line " << line;
    }
    EXPECT_EQ(levelLabel(4), QStringLiteral("+20dB"));
    EXPECT_EQ(levelLabel(2), QStringLiteral("+40dB"));
}

// Forty spots in 2 kHz of a 10 kHz window: calls that fit stand over their
// frequencies without touching, and every spot left over is counted.
TEST(Plot, CrowdedSpotCallsStackAndTheRestAreCounted) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(7.5);
    const QFontMetrics metrics(font);
    std::vector<qv7m::SpotToPlace> spots;
    for (int i = 0; i < 40; ++i) spots.push_back({14250000 + 50 * i, QStringLiteral("DL%1ABC").arg(i)});
    spots.push_back({14257000, QStringLiteral("K1XYZ")});
    spots.push_back({14300000, QStringLiteral("OUTSIDE")});
    const auto labels = qv7m::placeSpotLabels(spots, 14247000, 14257000, 533, metrics, 13, 3);

    int counted = 0;
    for (size_t i = 0; i < labels.size(); ++i) {
        const qv7m::SpotLabel& a = labels[i];
        counted += a.count > 0 ? a.count : 1;
        EXPECT_GE(a.box.left(), 0);
        EXPECT_LE(a.box.right(), 532);
        if (a.count == 0) {
            EXPECT_EQ(a.markX, std::min(532, int((a.hz - 14247000) * 533 / 10000)));
            EXPECT_LT(a.box.top(), 13 + 3 * metrics.height());
        }
        for (size_t j = i + 1; j < labels.size(); ++j) {
            EXPECT_FALSE(a.box.intersects(labels[j].box))
                << a.text.toStdString() << " on " << labels[j].text.toStdString();
        }
    }
    EXPECT_EQ(counted, 41);
    const auto counts =
        std::count_if(labels.begin(), labels.end(), [](const qv7m::SpotLabel& l) { return l.count > 0; });
    EXPECT_GE(counts, 1);
    const qv7m::SpotLabel* far = qv7m::spotLabelAt(labels, labels.back().box.center());
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->text, QStringLiteral("K1XYZ"));
}
