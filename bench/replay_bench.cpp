// SPDX-License-Identifier: GPL-3.0-or-later
// Replaying a long night: how late a timer on the window's thread runs while
// RecordLoader reads a large rtl_power file and the thread takes its rows
// into a store, and how long the load takes.
//
//   qv7m-bench-replay [megabytes=300] [--window]
//
// The file is written first, in a temporary folder: sweeps of 20 hops of
// 1024 bins (each hop prints its last bin twice, as rtl_power does). A 10 ms
// timer on the main thread measures each firing's lateness on the monotonic
// clock; every batch is copied into a store as the history window would.
// With --window the file loads into a shown replay window instead ("Open
// record…"): its store, its drawing and its status line all on that thread.

#include "files/record_reader.h"
#include "history/band_history.h"
#include "history/replay_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kTickMs = 10;
constexpr int kHops = 20;
constexpr int kBins = 1024;

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const std::size_t i = static_cast<std::size_t>(p / 100 * double(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

// Writes sweeps until the file holds at least `bytes`; returns the sweeps.
long long writeRecord(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "qv7m-bench-replay: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    // Readings from a table of texts: formatting each would be the slow part.
    std::vector<QByteArray> texts;
    for (int h = 0; h < 3000; ++h) texts.push_back(QByteArray(", ") + QByteArray::number(-40 - h / 100.0, 'f', 2));
    QByteArray out;
    long long sweeps = 0;
    for (qint64 written = 0; written < bytes; ++sweeps) {
        const int seconds = int(sweeps % 86400);
        const QByteArray stamp =
            QString::asprintf("2026-03-01, %02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60).toLatin1();
        out.clear();
        for (int hop = 0; hop < kHops; ++hop) {
            const long long low = 14000000 + hop * 1000000LL;
            out += stamp + ", " + QByteArray::number(low) + ", " + QByteArray::number(low + 1000000) + ", 976.56, 4096";
            for (int j = 0; j <= kBins; ++j) out += texts[(std::min(j, kBins - 1) * 37 + sweeps * 11) % 3000];
            out += '\n';
        }
        file.write(out);
        written += out.size();
    }
    return sweeps;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    // The replay window remembers its place: in this run's folder, not the user's settings.
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QApplication app(argc, argv);
    qint64 megabytes = 300;
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0)
            window = true;
        else
            megabytes = std::atoll(argv[i]);
    }
    const QString path = dir.filePath(QStringLiteral("night.csv"));
    QElapsedTimer clock;
    clock.start();
    const long long sweeps = writeRecord(path, megabytes << 20);
    const double writeSeconds = clock.elapsed() / 1000.0;

    qv7m::RecordLoader loader;
    qv7m::ReplayWindow replay;
    replay.setAttribute(Qt::WA_DeleteOnClose, false);
    std::vector<std::vector<float>> store;
    long long batches = 0;
    std::size_t largestBatch = 0;
    double slowestTake = 0;
    int progressSignals = 0;
    int skipped = -1;
    int rowsBefore = 0;
    if (window) {
        QObject::connect(&replay, &qv7m::ReplayWindow::rowsAdded, [&](int rows) {
            ++batches;
            largestBatch = std::max(largestBatch, std::size_t(rows - rowsBefore));
            rowsBefore = rows;
        });
        QObject::connect(&replay, &qv7m::ReplayWindow::loaded, [&] { app.quit(); });
        QObject::connect(replay.findChild<QProgressBar*>(QStringLiteral("replayProgress")), &QProgressBar::valueChanged,
                         [&](int) { ++progressSignals; });
    } else {
        store.reserve(std::size_t(sweeps));
    }
    QObject::connect(&loader, &qv7m::RecordLoader::rows, [&](const std::vector<qv7m::RecordRow>& batch) {
        QElapsedTimer take;
        take.start();
        std::size_t values = 0;
        for (const qv7m::RecordRow& row : batch) {
            store.push_back(row.values);
            values += row.values.size();
        }
        ++batches;
        largestBatch = std::max(largestBatch, values);
        slowestTake = std::max(slowestTake, take.nsecsElapsed() / 1e6);
    });
    QObject::connect(&loader, &qv7m::RecordLoader::progress, [&](int) { ++progressSignals; });
    QObject::connect(&loader, &qv7m::RecordLoader::failed, [&](const QString& message) {
        std::fprintf(stderr, "qv7m-bench-replay: %s\n", qPrintable(message));
        app.exit(1);
    });
    QObject::connect(&loader, &qv7m::RecordLoader::finished, [&](int s, int, bool, bool) {
        skipped = s;
        app.quit();
    });
    if (window) {
        replay.show();
        // The window drawn once before the clock starts, as a user sees it open.
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 300) app.processEvents();
    }

    std::vector<double> lateness;
    QElapsedTimer tick;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(kTickMs);
    double last = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const double now = tick.nsecsElapsed() / 1e6;
        lateness.push_back(now - last - kTickMs);
        last = now;
    });
    tick.start();
    timer.start();
    clock.restart();
    if (window)
        replay.open(path);
    else
        loader.start(path);
    const int rc = app.exec();
    const double loadSeconds = clock.elapsed() / 1000.0;
    timer.stop();

    std::sort(lateness.begin(), lateness.end());
    const auto over = [&](double ms) {
        return std::count_if(lateness.begin(), lateness.end(), [&](double l) { return l > ms; });
    };
    std::size_t values = 0;
    std::size_t rows = store.size();
    for (const std::vector<float>& row : store) values += row.size();
    if (const qv7m::BandHistory* h = replay.history(); window && h) {
        rows = std::size_t(h->rowCount());
        for (int r = 0; r < h->rowCount(); ++r) values += std::size_t(h->rowSize(r));
    }
    std::printf("replay: %lld MB rtl_power file, %lld sweeps of %d hops of %d bins, written in %.1f s\n",
                QFileInfo(path).size() >> 20, sweeps, kHops, kBins + 1, writeSeconds);
    std::printf("  into                    %s\n", window ? "a shown replay window" : "a plain store");
    std::printf("  loaded in               %.2f s (%.0f MB/s)\n", loadSeconds, (megabytes) / loadSeconds);
    if (window) {
        std::printf("  rows                    %zu, %zu readings; status \"%s\"\n", rows, values,
                    qPrintable(replay.status()));
        std::printf("  batches                 %lld, largest %zu rows\n", batches, largestBatch);
    } else {
        std::printf("  rows                    %zu, %zu readings, %d lines skipped\n", rows, values, skipped);
        std::printf("  batches                 %lld, largest %zu readings, slowest taken in %.2f ms\n", batches,
                    largestBatch, slowestTake);
    }
    std::printf("  progress signals        %d\n", progressSignals);
    std::printf("  timer firings           %zu (%.0f asked for)\n", lateness.size(), loadSeconds * 1000 / kTickMs);
    std::printf("  lateness median         %.2f ms\n", percentile(lateness, 50));
    std::printf("  lateness 99th pct       %.2f ms\n", percentile(lateness, 99));
    std::printf("  lateness worst          %.2f ms\n", lateness.empty() ? 0 : lateness.back());
    std::printf("  firings late > 5 ms     %lld, > 20 ms %lld, > 50 ms %lld\n", static_cast<long long>(over(5)),
                static_cast<long long>(over(20)), static_cast<long long>(over(50)));
    return rc;
}
