// SPDX-License-Identifier: GPL-3.0-or-later
// qv7m-bench-history: fills the band history with a day of fast sweep (280,000 rows of 14 meter
// readings, 3.9 million readings, one sweep every 308 ms) and prints what the store counts, how
// much the process grew and the time of one window repaint, whole and with a new row on top; then
// the same day in decibels, and a day in which every sweep has a window of its own.

#include "history/band_history.h"
#include "history/history_window.h"

#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>
#include <cstdio>

using namespace qv7m;

namespace {

constexpr int kRows = 280000;
constexpr int kReadings = 14;
constexpr qint64 kSweepMs = 308;
const QDateTime kStart(QDate(2024, 3, 1), QTime(0, 0), QTimeZone::utc());

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

std::vector<float> sweep(int r) {
    std::vector<float> values(kReadings);
    for (int i = 0; i < kReadings; ++i) values[size_t(i)] = float((r * 7 + i * 31) % 256);
    return values;
}

void fillDay(BandHistory& h, bool retuneEachSweep) {
    for (int r = 0; r < kRows; ++r) {
        const double low = retuneEachSweep ? 14000000.0 + (r % 1000) * 10 : 14000000.0;
        h.append(kStart.addMSecs(r * kSweepMs), low, 1000, sweep(r));
    }
}

void report(const char* what, const BandHistory& h, qint64 grewBytes) {
    const double mib = 1024.0 * 1024.0;
    std::printf("%-36s rows %d  held %.2f MiB (bound 16 MiB)  resident growth %.2f MiB\n", what, h.rowCount(),
                h.memoryBytes() / mib, grewBytes / mib);
}

// Milliseconds a repaint takes: the whole rows redrawn, and a new row shifted in on top.
void timeRepaints(BandHistory& h) {
    HistoryWindow window(h);
    window.resize(1200, 800);
    window.show();
    constexpr int kTimes = 20;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kTimes; ++i) {
        window.setScopeWindow(13999500 - i, 14013500);
        window.picture();
    }
    const double whole = clock.nsecsElapsed() / 1e6 / kTimes;
    window.picture();
    qint64 appendMs = kRows * kSweepMs;
    clock.restart();
    for (int i = 0; i < kTimes; ++i) {
        h.append(kStart.addMSecs(appendMs), 14000000, 1000, sweep(i));
        appendMs += kSweepMs;
        window.historyChanged();
        window.picture();
    }
    const double incremental = clock.nsecsElapsed() / 1e6 / kTimes;
    std::printf("  repaint of a 1200x800 window: whole %.2f ms, a new row on top %.2f ms\n", whole, incremental);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    {
        const qint64 before = residentBytes();
        BandHistory h;
        fillDay(h, false);
        report("a day of fast sweep, meter", h, residentBytes() - before);
        timeRepaints(h);
    }
    {
        const qint64 before = residentBytes();
        BandHistory h(HistoryUnit::Decibel);
        fillDay(h, false);
        report("a day of fast sweep, decibels", h, residentBytes() - before);
    }
    {
        const qint64 before = residentBytes();
        BandHistory h;
        fillDay(h, true);
        report("a day, every sweep a window its own", h, residentBytes() - before);
    }
    return 0;
}
