// SPDX-License-Identifier: GPL-3.0-or-later
// The record read back: `--record`'s own lines exactly, rtl_power's hops
// joined into sweeps, unreadable lines counted, and the loader's thread.
#include "files/record_reader.h"
#include "files/sweep_files.h"

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QTemporaryDir>
#include <cmath>
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
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "XST-3");
    tzset();
    SweepResult a;
    a.started = QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9));
    a.stepUnits = 25;
    a.frequencies = {703123, 703148, 703173};
    a.readings = {0, 153, 255};
    SweepResult b = a;
    b.started = a.started.addSecs(1);
    b.readings = {7, 8, 9};
    RecordParser parser;
    const std::vector<RecordRow> rows = parse(recordLine(a) + recordLine(b), parser);
    const QDateTime utc[] = {a.started.toUTC(), b.started.toUTC()};
    qputenv("TZ", oldTz);
    tzset();
    ASSERT_EQ(rows.size(), 2u);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const SweepResult& sweep = r == 0 ? a : b;
        EXPECT_EQ(rows[r].utc, utc[r]);
        EXPECT_EQ(rows[r].lowHz, 7031230);
        EXPECT_EQ(rows[r].stepHz, 250);
        EXPECT_EQ(rows[r].values, std::vector<float>(sweep.readings.begin(), sweep.readings.end()));
    }
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

struct Load {
    std::vector<RecordRow> rows;
    std::vector<int> progress;
    int skipped = -1;
    bool cancelled = false;
    QString failure;
};

// Runs a load to its end; cancels it at the first batch when asked.
Load load(RecordLoader& loader, const QString& path, bool cancelAtFirst) {
    Load got;
    QEventLoop loop;
    QObject::connect(&loader, &RecordLoader::rows, &loop, [&](const std::vector<RecordRow>& batch) {
        got.rows.insert(got.rows.end(), batch.begin(), batch.end());
        if (cancelAtFirst) loader.cancel();
    });
    QObject::connect(&loader, &RecordLoader::progress, &loop, [&](int p) { got.progress.push_back(p); });
    QObject::connect(&loader, &RecordLoader::finished, &loop, [&](int skipped, int, bool, bool cancelled) {
        got.skipped = skipped;
        got.cancelled = cancelled;
        loop.quit();
    });
    QObject::connect(&loader, &RecordLoader::failed, &loop, [&](const QString& message) {
        got.failure = message;
        loop.quit();
    });
    loader.start(path);
    loop.exec();
    return got;
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
    const Load whole = load(loader, path, false);
    EXPECT_FALSE(whole.cancelled);
    EXPECT_EQ(whole.skipped, 1);
    ASSERT_EQ(whole.rows.size(), expected.size());
    for (std::size_t r = 0; r < expected.size(); ++r) {
        EXPECT_EQ(whole.rows[r].utc, expected[r].utc);
        EXPECT_EQ(whole.rows[r].values.size(), expected[r].values.size());
    }
    EXPECT_EQ(whole.rows.back().values, expected.back().values);
    EXPECT_GT(whole.progress.size(), 2u);
    EXPECT_EQ(whole.progress.back(), 100);

    const Load cancelled = load(loader, path, true);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LT(cancelled.rows.size(), expected.size());
    EXPECT_FALSE(loader.running());

    const Load missing = load(loader, dir.filePath(QStringLiteral("none.csv")), false);
    EXPECT_TRUE(missing.failure.contains(QStringLiteral("none.csv"))) << qPrintable(missing.failure);

    // Gone while it runs: cancelled and joined.
    auto running = std::make_unique<RecordLoader>();
    running->start(path);
    running.reset();
}

}  // namespace
}  // namespace qv7m
