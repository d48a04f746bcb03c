// SPDX-License-Identifier: GPL-3.0-or-later
// The band history's store, its window and a record replayed in it. (Its rows
// against the radio's readings, across a retune: the band watch end-to-end test.)
#include "history/band_history.h"
#include "history/history_window.h"
#include "history/replay_window.h"

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTemporaryDir>
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

}  // namespace

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

// rtl_power's lines a second apart, one hop of 100 bins, with a bad line after
// the second: in room for two rows the oldest two go, and the window says so.
TEST(ReplayWindow, SaysWhatItSkippedAndWhatItLetGo) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("night.csv"));
    QByteArray text;
    for (int s = 0; s < 4; ++s) {
        text += QString::asprintf("2026-03-01, 00:00:%02d, 7000000, 7100000, 1000, 16", s).toLatin1();
        for (int i = 0; i < 100; ++i) text += QString::asprintf(", -%d.%02d", 40 + i % 30, s).toLatin1();
        text += '\n';
        if (s == 1) text += "2026-03-01, 00:00:01, 7000000, 7001000, 1000, 16, -50.x\n";
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(text), text.size());
    file.close();

    ReplayWindow window;
    window.setMemoryLimit(500);
    QSignalSpy loaded(&window, &ReplayWindow::loaded);
    window.open(path);
    window.show();
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_EQ(window.status(), QStringLiteral("2 rows; the oldest 2 rows were let go to stay within 500 bytes; "
                                              "1 line skipped (first at line 3)"));
    const BandHistory* h = window.history();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->unit(), HistoryUnit::Decibel);
    ASSERT_EQ(h->rowCount(), 2);
    EXPECT_EQ(h->rowLowHz(0), 7000000);
    ASSERT_EQ(h->rowSize(0), 100);
    EXPECT_NEAR(h->value(0, 7), -47.03, 0.001);
    EXPECT_NEAR(h->value(1, 99), -49.02, 0.001);
}
