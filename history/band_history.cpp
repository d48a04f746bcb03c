// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/band_history.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <limits>

namespace qv7m {

namespace {
constexpr qint16 kNoReading = std::numeric_limits<qint16>::min();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

quint8 toMeter(float v) {
    if (!(v > 0)) return 0;  // NaN too
    if (v >= 255) return 255;
    return quint8(std::lround(v));
}

qint16 toCentiDb(float v) {
    if (!std::isfinite(v)) return kNoReading;
    const double c = std::round(double(v) * 100.0);
    return qint16(std::clamp(c, -32767.0, 32767.0));
}
}  // namespace

BandHistory::BandHistory(HistoryUnit unit, qint64 keepMs)
    : unit_(unit), keepMs_(std::max<qint64>(keepMs, 0)), lowest_(kNaN), highest_(kNaN) {}

void BandHistory::setMemoryLimit(qsizetype bytes) { memoryLimit_ = std::max<qsizetype>(bytes, 0); }

qsizetype BandHistory::rowCost(int row, qsizetype perReading) const {
    const qint64 serial = serialOf(row);
    const Run& run = runOf(serial);
    const bool lastOfRun = row == 0 || runOf(serial + 1).firstSerial == serial + 1;
    return run.size * perReading + 4 + (lastOfRun ? qsizetype(sizeof(Run)) : 0);
}

bool BandHistory::append(const QDateTime& utc, double lowHz, double stepHz, const std::vector<float>& values) {
    if (values.empty() || values.size() > size_t(std::numeric_limits<int>::max()) || !utc.isValid()) return false;
    if (!std::isfinite(lowHz) || !std::isfinite(stepHz) || !(stepHz > 0)) return false;
    const qint64 ms = utc.toMSecsSinceEpoch();
    const int size = int(values.size());

    bool sameRun = false;
    if (rowCount() > 0) {
        const Run& last = runs_[runs_.size() - 1];
        const qint64 offset = ms - last.baseMs;
        sameRun = last.lowHz == lowHz && last.stepHz == stepHz && last.size == size &&
                  offset >= std::numeric_limits<qint32>::min() && offset <= std::numeric_limits<qint32>::max();
    }
    if (!sameRun) runs_.push_back(Run{appended_, readingsAppended_, ms, lowHz, stepHz, size});
    times_.push_back(qint32(ms - runs_[runs_.size() - 1].baseMs));
    for (float v : values) {
        if (unit_ == HistoryUnit::Meter) {
            meter_.push_back(toMeter(v));
        } else {
            centiDb_.push_back(toCentiDb(v));
        }
        if (std::isfinite(v)) {
            if (!(v >= lowest_)) lowest_ = v;
            if (!(v <= highest_)) highest_ = v;
        }
    }
    ++appended_;
    readingsAppended_ += size;
    ++revision_;

    // The oldest rows go by age, then while what is held costs more than the
    // limit (each row its readings, its time and, as the last of a run, the run).
    int drop = 0;
    const int rows = rowCount();
    while (drop < rows - 1 && rowTimeMs(rows - 1 - drop) < ms - keepMs_) ++drop;
    const qsizetype perReading = unit_ == HistoryUnit::Meter ? 1 : 2;
    const qsizetype perRun = qsizetype(sizeof(Run));
    qsizetype cost = (readingsAppended_ - firstHeldReading_) * perReading + qsizetype(rows) * 4 + runs_.size() * perRun;
    for (int r = rows - 1; r > rows - 1 - drop; --r) cost -= rowCost(r, perReading);
    while (drop < rows - 1 && cost > memoryLimit_) {
        cost -= rowCost(rows - 1 - drop, perReading);
        ++drop;
    }
    if (drop > 0) dropOldest(drop);
    return true;
}

void BandHistory::dropOldest(int rows) {
    times_.pop_front(rows);
    const qint64 oldestSerial = appended_ - rowCount();
    qsizetype emptyRuns = 0;
    while (emptyRuns + 1 < runs_.size() && runs_[emptyRuns + 1].firstSerial <= oldestSerial) ++emptyRuns;
    runs_.pop_front(emptyRuns);
    const Run& run = runs_[0];
    const qint64 firstReading = run.firstReading + (oldestSerial - run.firstSerial) * run.size;
    const qint64 gone = firstReading - firstHeldReading_;
    if (unit_ == HistoryUnit::Meter) {
        meter_.pop_front(gone);
    } else {
        centiDb_.pop_front(gone);
    }
    firstHeldReading_ = firstReading;
    ++revision_;
}

void BandHistory::clear() {
    times_.clear();
    meter_.clear();
    centiDb_.clear();
    runs_.clear();
    firstHeldReading_ = readingsAppended_;
    lowest_ = highest_ = kNaN;
    ++revision_;
}

const BandHistory::Run& BandHistory::runOf(qint64 serial) const {
    // The last run that starts at or before serial.
    qsizetype lo = 0;
    qsizetype hi = runs_.size() - 1;
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (runs_[mid].firstSerial <= serial) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return runs_[lo];
}

qint64 BandHistory::rowTimeMs(int row) const {
    const qint64 serial = serialOf(row);
    return runOf(serial).baseMs + times_[rowCount() - 1 - row];
}

QDateTime BandHistory::rowTime(int row) const {
    return QDateTime::fromMSecsSinceEpoch(rowTimeMs(row), QTimeZone::utc());
}
double BandHistory::rowLowHz(int row) const { return runOf(serialOf(row)).lowHz; }
double BandHistory::rowStepHz(int row) const { return runOf(serialOf(row)).stepHz; }
int BandHistory::rowSize(int row) const { return runOf(serialOf(row)).size; }

qint64 BandHistory::readingIndex(int row, int i) const {
    const qint64 serial = serialOf(row);
    const Run& run = runOf(serial);
    return run.firstReading + (serial - run.firstSerial) * run.size + i - firstHeldReading_;
}

float BandHistory::stored(qint64 index) const {
    if (unit_ == HistoryUnit::Meter) return float(meter_[index]);
    const qint16 c = centiDb_[index];
    return c == kNoReading ? kNaN : float(c) / 100.0f;
}

float BandHistory::value(int row, int i) const { return stored(readingIndex(row, i)); }

std::optional<float> BandHistory::valueAt(int row, double hz) const {
    const Run& run = runOf(serialOf(row));
    const double steps = (hz - run.lowHz) / run.stepHz;
    if (!(steps >= -0.5 && steps <= run.size - 0.5)) return std::nullopt;
    const int i = std::clamp(int(std::lround(steps)), 0, run.size - 1);
    const float v = value(row, i);
    if (std::isnan(v)) return std::nullopt;
    return v;
}

void BandHistory::sampleRow(int row, double firstHz, double hzPerPixel, float* out, int width) const {
    const qint64 serial = serialOf(row);
    const Run& run = runOf(serial);
    const qint64 base = run.firstReading + (serial - run.firstSerial) * run.size - firstHeldReading_;
    const double firstStep = (firstHz - run.lowHz) / run.stepHz;
    const double stepsPerPixel = hzPerPixel / run.stepHz;
    if (!std::isfinite(firstStep) || !std::isfinite(stepsPerPixel)) {
        std::fill(out, out + std::max(width, 0), kNaN);
        return;
    }
    // The readings on show once, rather than through the blocks at each pixel.
    const double lim = double(run.size) + 2;
    const int shownFrom = int(std::clamp(std::floor(firstStep) - 1, 0.0, lim));
    const int shownTo = int(std::clamp(std::ceil(firstStep + width * stepsPerPixel) + 1, 0.0, double(run.size)));
    std::vector<float> readings(size_t(std::max(0, shownTo - shownFrom)));
    for (int i = shownFrom; i < shownTo; ++i) readings[size_t(i - shownFrom)] = stored(base + i);
    for (int x = 0; x < width; ++x) {
        // The steps whose frequency falls inside the pixel; if none, the one
        // nearest its centre. Clamped, since far out of the row the answer is
        // the same and step numbers must fit an integer.
        const double from = std::clamp(firstStep + x * stepsPerPixel, -2.0, lim);
        const double to = std::clamp(firstStep + (x + 1) * stepsPerPixel, -2.0, lim);
        float best = kNaN;
        if (std::isnan(from) || std::isnan(to)) {
            out[x] = best;
            continue;
        }
        qint64 a = qint64(std::ceil(from));
        qint64 b = qint64(std::ceil(to)) - 1;
        if (a > b) a = b = std::llround((from + to) / 2);
        a = std::max<qint64>(a, shownFrom);
        b = std::min<qint64>(b, shownTo - 1);
        for (qint64 i = a; i <= b; ++i) {
            const float v = readings[size_t(i - shownFrom)];
            if (!std::isnan(v) && !(v <= best)) best = v;
        }
        out[x] = best;
    }
}

int BandHistory::rowNearestTime(qint64 utcMs) const {
    const int rows = rowCount();
    if (rows == 0) return -1;
    // Rows run newest first, so their times fall as the row number rises.
    int lo = 0;
    int hi = rows - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (rowTimeMs(mid) > utcMs) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo > 0 && std::abs(rowTimeMs(lo - 1) - utcMs) < std::abs(rowTimeMs(lo) - utcMs)) return lo - 1;
    return lo;
}

qsizetype BandHistory::memoryBytes() const {
    return qsizetype(sizeof(*this)) + times_.memoryBytes() + meter_.memoryBytes() + centiDb_.memoryBytes() +
           runs_.memoryBytes();
}

}  // namespace qv7m
