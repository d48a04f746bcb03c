// SPDX-License-Identifier: GPL-3.0-or-later
// The record read back: `--record`'s own lines exactly, rtl_power's hops
// joined into sweeps, unreadable lines counted, and the loader's thread.
#include "files/record_reader.h"
#include "files/sweep_files.h"

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>

namespace qv7m {
namespace {

std::vector<RecordRow> parse(const QByteArray& text, RecordParser& parser) {
    std::vector<RecordRow> rows;
    for (const QByteArray& line : text.split('\n')) parser.feedLine(line, rows);
    parser.finish(rows);
    return rows;
}

// Hundredths of a dB at reading i of a sweep, as rtl_power prints them.
int hundredths(int sweep, int i) { return -4000 - (i * 37 + sweep * 11) % 3000; }

// Sweeps of three hops of 64 bins of 976.5625 Hz from 14 MHz; each hop prints
// its last bin twice, as rtl_power does, and sweep 1's middle hop is
// unreadable: the first hop's repeated bin then stays, before the gap.
QByteArray rtlPower(int sweeps) {
    QByteArray text;
    for (int s = 0; s < sweeps; ++s) {
        for (int hop = 0; hop < 3; ++hop) {
            const int low = 14000000 + hop * 62500;
            text +=
                QString::asprintf("2026-03-01, 04:05:%02d, %d, %d, 976.56, 40", s % 60, low, low + 62500).toLatin1();
            for (int j = 0; j <= 64; ++j)
                text += QString::asprintf(", %.2f", hundredths(s, hop * 64 + std::min(j, 63)) / 100.0).toLatin1();
            if (s == 1 && hop == 1) text.replace(text.size() - 4, 1, "x");
            text += '\n';
        }
    }
    return text;
}

TEST(RecordReader, ReadsBackWhatRecordWroteOnTheLocalClock) {
    // Away from UTC, a stamp read on the wrong clock shows.
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "XST-3");
    tzset();
    SweepResult sweep;
    sweep.started = QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9));
    sweep.stepUnits = 25;
    sweep.frequencies = {703123, 703148, 703173};
    sweep.readings = {0, 153, 255};
    RecordParser parser;
    // Two short sweeps within one second: the second is not a hop of the first.
    const std::vector<RecordRow> rows = parse(recordLine(sweep) + recordLine(sweep), parser);
    const QDateTime utc = sweep.started.toUTC();
    if (hadTz)
        qputenv("TZ", oldTz);
    else
        qunsetenv("TZ");
    tzset();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].utc, utc);
    EXPECT_EQ(rows[1].lowHz, 7031230);
    EXPECT_EQ(rows[1].stepHz, 250);
    EXPECT_EQ(rows[1].values, std::vector<float>({0, 153, 255}));
    EXPECT_FALSE(parser.decibels());
    EXPECT_EQ(parser.skipped(), 0);
}

TEST(RecordReader, JoinsRtlPowerHopsIntoSweeps) {
    RecordParser parser;
    const std::vector<RecordRow> rows = parse(rtlPower(2), parser);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(parser.decibels());
    EXPECT_EQ(parser.skipped(), 1);
    EXPECT_EQ(parser.firstSkippedLine(), 5);
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(rows[s].lowHz, 14000000);
        EXPECT_EQ(rows[s].stepHz, 976.56);
        ASSERT_EQ(rows[s].values.size(), 193u);
        for (int i = 0; i < 192; ++i) {
            const bool gap = s == 1 && i > 64 && i < 128;
            const int bin = s == 1 && i == 64 ? 63 : i;
            if (gap)
                EXPECT_TRUE(std::isnan(rows[s].values[i])) << i;
            else
                EXPECT_EQ(rows[s].values[i], float(hundredths(s, bin) / 100.0)) << s << " " << i;
        }
    }
}

TEST(RecordReader, SkipsAndCountsLinesItCannotRead) {
    RecordParser parser;
    const std::vector<RecordRow> rows = parse(
        "2026-12-07, 21:05:09, 7031230, 7031730, 250, 1, 1, 2, 3\n"
        "\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 250\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 250, 1, 1, 2, 3x\n"
        "2026-12-07, 21:05:10, 7031230, 7035730, 250, 1, 1, 2, 3\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 250, 1, 1, 2, nan\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 250, 1, 1, 2, 3.5\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 250, 1, 1, 2, 256\n"
        "2026-12-07, 21:05:10, 7031230, 7031730, 0, 1, 1, 2, 3\n"
        "2026-13-07, 21:05:10, 7031230, 7031730, 250, 1, 1, 2, 3\n"
        "2026-12-07, 21:05:61, 7031230, 7031730, 250, 1, 1, 2, 3\n"
        "2026-12-07, 21:05:11, 7031230, 7031730, 250, 1, 4, 5, 6\r\n",
        parser);
    EXPECT_EQ(parser.skipped(), 9);
    EXPECT_EQ(parser.firstSkippedLine(), 3);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].values, std::vector<float>({4, 5, 6}));
}

// Bit for bit, so that the NaN of a gap equals itself.
bool sameRow(const RecordRow& a, const RecordRow& b) {
    const std::size_t bytes = a.values.size() * sizeof(float);
    const bool sameValues =
        a.values.size() == b.values.size() && std::memcmp(a.values.data(), b.values.data(), bytes) == 0;
    return a.utc == b.utc && a.lowHz == b.lowHz && a.stepHz == b.stepHz && sameValues;
}

// The rows of every batch the spy caught.
std::vector<RecordRow> caught(const QSignalSpy& spy) {
    std::vector<RecordRow> rows;
    for (const QList<QVariant>& args : spy) {
        const auto batch = args[0].value<std::vector<RecordRow>>();
        rows.insert(rows.end(), batch.begin(), batch.end());
    }
    return rows;
}

TEST(RecordReader, LoadsOnItsOwnThreadAsTheParserReads) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("night.csv"));
    const QByteArray text = rtlPower(2000);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    RecordParser parser;
    const std::vector<RecordRow> expected = parse(text, parser);

    RecordLoader loader;
    QSignalSpy rows(&loader, &RecordLoader::rows);
    QSignalSpy progress(&loader, &RecordLoader::progress);
    QSignalSpy finished(&loader, &RecordLoader::finished);
    QSignalSpy failed(&loader, &RecordLoader::failed);
    loader.start(path);
    ASSERT_TRUE(finished.wait(20000));
    const std::vector<RecordRow> got = caught(rows);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t r = 0; r < expected.size(); ++r) ASSERT_TRUE(sameRow(got[r], expected[r])) << r;
    EXPECT_EQ(finished[0][0].toInt(), 1);
    EXPECT_FALSE(finished[0][3].toBool());
    EXPECT_GT(progress.size(), 2);
    EXPECT_EQ(progress.back()[0].toInt(), 100);

    // Cancelled at its first batch: no other comes.
    rows.clear();
    finished.clear();
    QObject::connect(&loader, &RecordLoader::rows, &loader, &RecordLoader::cancel);
    loader.start(path);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finished[0][3].toBool());
    EXPECT_EQ(rows.size(), 1);
    EXPECT_FALSE(loader.running());

    loader.start(dir.filePath(QStringLiteral("none.csv")));
    ASSERT_TRUE(failed.wait(20000));
    EXPECT_TRUE(failed[0][0].toString().contains(QStringLiteral("none.csv"))) << qPrintable(failed[0][0].toString());

    // Gone while it runs: cancelled and joined.
    auto running = std::make_unique<RecordLoader>();
    running->start(path);
    running.reset();
}

}  // namespace
}  // namespace qv7m
