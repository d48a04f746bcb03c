// SPDX-License-Identifier: GPL-3.0-or-later
// Records replayed: the program's own record of a scan against the simulator,
// value for value, rtl_power's hops with a bad line among them, and a load
// cancelled part way.

#include "history/replay_window.h"
#include "faults/fault_harness.h"
#include "radio/cat_codec.h"

#include <QSignalSpy>
#include <cmath>
#include <map>

using namespace faults;
using qv7m::ReplayWindow;

namespace {

// Opens path in a replay window and waits for the load to end; cancelled at
// its first rows if asked.
std::unique_ptr<ReplayWindow> replay(const QString& path, qsizetype memoryLimit = ReplayWindow::kMemoryLimit,
                                     bool cancel = false) {
    auto window = std::make_unique<ReplayWindow>();
    window->setMemoryLimit(memoryLimit);
    if (cancel) QObject::connect(window.get(), &ReplayWindow::rowsAdded, window.get(), &ReplayWindow::cancel);
    QSignalSpy loaded(window.get(), &ReplayWindow::loaded);
    window->open(path);
    window->show();
    EXPECT_TRUE(loaded.wait(20000)) << qPrintable(path);
    return window;
}

// rtl_power's dB at sweep s, bin i: tenths, printed with two decimals.
double decibels(int s, int i) { return -60 + (i * 7 + s * 13) % 400 / 10.0; }

// Sweeps a second apart of three hops of 50 bins of 1220.7 Hz; each hop prints
// its last bin twice, as rtl_power does. A bad line follows sweep `badAfter`.
QByteArray rtlPower(int sweeps, int badAfter = -1) {
    QByteArray text;
    for (int s = 0; s < sweeps; ++s) {
        const QByteArray stamp = QTime(0, 0).addSecs(s).toString(QStringLiteral("HH:mm:ss")).toLatin1();
        for (int hop = 0; hop < 3; ++hop) {
            const int low = 7000000 + hop * 61035;
            text += "2026-03-01, " + stamp + QString::asprintf(", %d, %d, 1220.7, 16", low, low + 61035).toLatin1();
            for (int j = 0; j <= 50; ++j)
                text += QString::asprintf(", %.2f", decibels(s, hop * 50 + std::min(j, 49))).toLatin1();
            text += '\n';
        }
        if (s == badAfter) text += "2026-03-01, 00:00:01, 7000000, 7061035, 1220.7, 16, -50.x\n";
    }
    return text;
}

class Replay : public Program {};

}  // namespace

TEST_F(Replay, AScansRecordIsReplayedValueForValue) {
    writeIni("0\r\n0\r\n1\r\n0\r\nN0CALL\r\n");                    // 10 kHz, 250 Hz, area graph
    simtest::Sim radio({"--vfoa", "14252470", "--fading", "20"});  // each sweep reads apart
    linkTo(radio);
    start();
    const QString record = work.filePath(QStringLiteral("sweeps.csv"));
    form->recordTo(record);
    ASSERT_TRUE(scanUntil(
        [&] {
            if (sweep().sweepsStarted() < 4) return false;
            click(*form, "setupButton");
            return true;
        },
        60));

    const auto window = replay(record);
    ASSERT_EQ(window->status(), QStringLiteral("3 rows"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Band history \u2013 sweeps.csv"));
    const qv7m::BandHistory* h = window->history();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->unit(), qv7m::HistoryUnit::Meter);
    ASSERT_EQ(h->rowCount(), 3);
    const auto truth = readingsOf(radio, 3 * 41);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(h->rowLowHz(row), 14247470);
        EXPECT_EQ(h->rowStepHz(row), 250);
        ASSERT_EQ(h->rowSize(row), 41);
        for (int i = 0; i < 41; ++i) {
            const std::vector<int>& read = truth.at(1424747 + 25 * i);
            ASSERT_EQ(read.size(), 3u);
            EXPECT_EQ(h->value(row, i), read[size_t(2 - row)]) << "row " << row << " step " << i;
        }
    }
}

TEST_F(Replay, RtlPowersHopsAreJoinedAndABadLineIsCounted) {
    const QString path = work.filePath(QStringLiteral("night.csv"));
    ASSERT_TRUE(writeFile(path, rtlPower(4, 1)));

    const auto window = replay(path);
    EXPECT_EQ(window->status(), QStringLiteral("4 rows; 1 line skipped (first at line 7)"));
    const qv7m::BandHistory* h = window->history();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->unit(), qv7m::HistoryUnit::Decibel);
    ASSERT_EQ(h->rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(h->rowLowHz(row), 7000000);
        EXPECT_DOUBLE_EQ(h->rowStepHz(row), 1220.7);
        ASSERT_EQ(h->rowSize(row), 151);
        for (int i = 0; i < 151; ++i)
            EXPECT_NEAR(h->value(row, i), decibels(3 - row, std::min(i, 149)), 0.01) << "row " << row << " bin " << i;
    }

    // Room for two rows of 151 readings: the oldest two go, and the window says so.
    const auto small = replay(path, 700);
    EXPECT_EQ(small->history()->rowCount(), 2);
    EXPECT_EQ(small->status(), QStringLiteral("2 rows; the oldest 2 rows were let go to stay within 700 bytes; "
                                              "1 line skipped (first at line 7)"));
}

TEST_F(Replay, ALoadCancelledPartWayKeepsItsRowsAndAFileNotThereSaysWhy) {
    const QString path = work.filePath(QStringLiteral("long.csv"));
    ASSERT_TRUE(writeFile(path, rtlPower(2000)));
    const auto window = replay(path, ReplayWindow::kMemoryLimit, true);
    ASSERT_NE(window->history(), nullptr);
    const int rows = window->history()->rowCount();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 2000);
    EXPECT_EQ(window->status(), QStringLiteral("Loading cancelled: %1 rows").arg(rows));

    const auto missing = replay(work.filePath(QStringLiteral("gone.csv")));
    EXPECT_TRUE(missing->status().contains(QStringLiteral("gone.csv"))) << qPrintable(missing->status());
    EXPECT_TRUE(missing->status().contains(QStringLiteral("No such file"))) << qPrintable(missing->status());
}
