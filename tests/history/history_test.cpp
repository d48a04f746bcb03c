// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/band_history.h"
#include "history/history_window.h"

#include <gtest/gtest.h>
#include <QTest>
#include <QTimeZone>

using namespace qv7m;

namespace {
const QDateTime kStart(QDate(2024, 3, 1), QTime(0, 0), QTimeZone::utc());

// Rows of 11 readings at 1 kHz steps from lowHz; row r's reading i is 20 * i + r.
void addRows(BandHistory& h, int rows, double lowHz, qint64 fromMs = 0) {
    for (int r = 0; r < rows; ++r) {
        std::vector<float> values;
        for (int i = 0; i < 11; ++i) values.push_back(float(20 * i + r % 20));
        h.append(kStart.addMSecs(fromMs + r * 300), lowHz, 1000, values);
    }
}

// The reading a pixel's colour stands for, or -1 when it is not on the map.
int readingOfColour(QRgb pixel) {
    for (int v = 0; v < 256; ++v)
        if (historyColour(v / 255.0) == pixel) return v;
    return -1;
}
}  // namespace

TEST(BandHistory, KeepsReadingsByFrequencyAcrossARetune) {
    BandHistory h;
    addRows(h, 3, 14000000);
    addRows(h, 2, 14005000, 1000);
    ASSERT_EQ(h.rowCount(), 5);
    EXPECT_EQ(h.valueAt(2, 14007000), 20 * 7 + 2);
    EXPECT_EQ(h.valueAt(2, 14007400), 20 * 7 + 2);
    EXPECT_FALSE(h.valueAt(2, 14012000));
    EXPECT_EQ(h.valueAt(0, 14012000), 20 * 7 + 1);
    EXPECT_EQ(h.rowLowHz(0), 14005000);
}

TEST(BandHistory, DropsRowsOlderThanADay) {
    BandHistory h;
    h.append(kStart, 7000000, 100, {10});
    h.append(kStart.addMSecs(BandHistory::kDayMs), 7000000, 100, {20});
    EXPECT_EQ(h.rowCount(), 2);
    h.append(kStart.addMSecs(BandHistory::kDayMs + 1), 7000000, 100, {30});
    ASSERT_EQ(h.rowCount(), 2);
    EXPECT_EQ(h.value(1, 0), 20);
    EXPECT_EQ(h.rowTime(1), kStart.addMSecs(BandHistory::kDayMs));
}

TEST(BandHistory, ADayOfFastSweepFitsIn16MiB) {
    BandHistory h;
    const std::vector<float> values(14, 100.0f);
    for (int r = 0; r < 280000; ++r) h.append(kStart.addMSecs(qint64(r) * 308), 14000000, 1000, values);
    EXPECT_EQ(h.rowCount(), 280000);
    EXPECT_LE(h.memoryBytes(), 16 * 1024 * 1024);
}

TEST(BandHistory, DecibelsKeepAHundredthAndGapsStayBlank) {
    BandHistory h(HistoryUnit::Decibel);
    h.append(kStart, 1000000, 2500.5, {-42.377f, std::numeric_limits<float>::quiet_NaN()});
    EXPECT_NEAR(h.valueAt(0, 1000000).value(), -42.38, 0.001);
    EXPECT_FALSE(h.valueAt(0, 1002500.5));
}

TEST(HistoryWindow, RowsColouredByReadingWhereTheyLieOnTheBand) {
    BandHistory h;
    addRows(h, 3, 14000000);
    addRows(h, 2, 14005000, 1000);
    HistoryWindow window(h);
    window.setScopeWindow(14004500, 14015500);
    window.show();
    const auto colourAt = [&](int row, double hz) {
        const QImage shown = window.grab().toImage();
        const std::optional<QPoint> at = window.pointOf(row, hz);
        return at ? readingOfColour(shown.pixel(*at)) : -2;
    };
    EXPECT_EQ(colourAt(0, 14012000), 20 * 7 + 1);
    EXPECT_EQ(colourAt(2, 14007000), 20 * 7 + 2);
    EXPECT_EQ(colourAt(2, 14012000), -1);
    // New rows drawn on top move the older ones down with their colours.
    addRows(h, 4, 14005000, 2000);
    window.historyChanged();
    EXPECT_EQ(colourAt(6, 14007000), 20 * 7 + 2);
    EXPECT_EQ(colourAt(3, 14015000), 20 * 10 + 0);
}

TEST(HistoryWindow, KeysScrollBackToOlderRows) {
    BandHistory h;
    addRows(h, 3000, 14000000);
    HistoryWindow window(h);
    window.show();
    QTest::keyClick(&window, Qt::Key_PageDown);
    EXPECT_GT(window.topRow(), 0);
    EXPECT_FALSE(window.following());
    const int top = window.topRow();
    addRows(h, 5, 14000000, 1000000);
    window.historyChanged();
    EXPECT_EQ(window.topRow(), top + 5);
    QTest::keyClick(&window, Qt::Key_Home);
    EXPECT_EQ(window.topRow(), 0);
}
