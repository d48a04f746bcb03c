// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The band's history: every completed sweep as one row of readings, each row
// keeping its own frequencies in Hz so that a retune leaves older rows where
// they were on the band. A day of fast sweep is some 280,000 rows, so rows are
// not objects: readings sit in one flat, chunked store, rows of the same window
// share one entry of a run-length table, and a row itself costs four bytes.

#include <QDateTime>
#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qv7m {

enum class HistoryUnit {
    Meter,    // the radio's meter readings 0-255, kept as bytes; legend in S-units
    Decibel,  // decimals in dB, kept to 0.01 dB within +-327.67 dB; legend in dB
};

// A queue of plain values in fixed blocks: appending never moves what is held,
// and dropping from the front frees whole blocks.
template <typename T>
class ChunkedQueue {
public:
    static constexpr qsizetype kChunk = 65536 / qsizetype(sizeof(T));

    qsizetype size() const { return size_; }
    const T& operator[](qsizetype i) const { return chunks_[(head_ + i) / kChunk][(head_ + i) % kChunk]; }
    void push_back(T v) {
        const qsizetype end = head_ + size_;
        if (end == qsizetype(chunks_.size()) * kChunk) chunks_.push_back(std::make_unique<T[]>(kChunk));
        chunks_[end / kChunk][end % kChunk] = v;
        ++size_;
    }
    void pop_front(qsizetype n) {
        n = std::min(n, size_);
        head_ += n;
        size_ -= n;
        const qsizetype whole = head_ / kChunk;
        if (whole > 0) {
            chunks_.erase(chunks_.begin(), chunks_.begin() + whole);
            head_ -= whole * kChunk;
        }
    }
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        head_ = size_ = 0;
    }
    qsizetype memoryBytes() const {
        return qsizetype(chunks_.size()) * kChunk * qsizetype(sizeof(T)) +
               qsizetype(chunks_.capacity() * sizeof(std::unique_ptr<T[]>));
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    qsizetype head_ = 0;  // index of the front value within the first block
    qsizetype size_ = 0;
};

class BandHistory {
public:
    static constexpr qint64 kDayMs = 24LL * 3600 * 1000;
    // Whatever the time stamps and windows, the rows held cost no more than
    // this (the oldest go first); the blocks they sit in add at most 384 KiB,
    // so that the whole store stays within 16 MiB.
    static constexpr qsizetype kDefaultMemoryLimit = qsizetype(15) * 1024 * 1024 + 512 * 1024;

    explicit BandHistory(HistoryUnit unit = HistoryUnit::Meter, qint64 keepMs = kDayMs);

    HistoryUnit unit() const { return unit_; }
    qint64 keepMs() const { return keepMs_; }
    void setMemoryLimit(qsizetype bytes);

    // Adds a completed sweep as the newest row: reading i lies at
    // lowHz + i * stepHz. Rows older than keepMs before this one go. A row
    // without readings, with a step that is not above zero or with a frequency
    // that is not finite is refused (false). Meter readings are rounded and
    // clamped to 0-255 (a NaN counts 0); a decibel that is not finite is kept
    // as "no reading".
    bool append(const QDateTime& utc, double lowHz, double stepHz, const std::vector<float>& values);
    void clear();

    // Row 0 is the newest.
    int rowCount() const { return int(times_.size()); }
    QDateTime rowTime(int row) const;
    qint64 rowTimeMs(int row) const;
    double rowLowHz(int row) const;
    double rowStepHz(int row) const;
    int rowSize(int row) const;
    // NaN where a decibel row holds no reading.
    float value(int row, int i) const;
    // The reading at the step nearest hz if hz lies within half a step of it.
    std::optional<float> valueAt(int row, double hz) const;
    // Samples a row for one line of pixels: pixel x covers
    // [firstHz + x * hzPerPixel, firstHz + (x + 1) * hzPerPixel). A pixel gets
    // the strongest reading whose step falls in it or, between steps, the
    // reading within half a step of its centre; NaN where the row has none.
    void sampleRow(int row, double firstHz, double hzPerPixel, float* out, int width) const;
    // The row whose time is nearest utcMs, taking rows as oldest to newest in
    // time; -1 when empty.
    int rowNearestTime(qint64 utcMs) const;

    // Every row ever appended has a serial number; row r's is
    // appendedCount() - 1 - r. It does not change when older rows go.
    qint64 appendedCount() const { return appended_; }
    // Changes whenever a row comes or goes.
    quint64 revision() const { return revision_; }
    // The lowest and highest finite readings ever appended (NaN when none).
    float lowestValue() const { return lowest_; }
    float highestValue() const { return highest_; }

    // What the store holds in memory, counting blocks and capacities.
    qsizetype memoryBytes() const;

private:
    // Consecutive rows of one window. Their times are kept as offsets from
    // baseMs, so a run also ends when an offset would not fit in 32 bits.
    struct Run {
        qint64 firstSerial;
        qint64 firstReading;  // serial of the run's first reading
        qint64 baseMs;
        double lowHz;
        double stepHz;
        int size;
    };

    qint64 serialOf(int row) const { return appended_ - 1 - row; }
    const Run& runOf(qint64 serial) const;
    qint64 readingIndex(int row, int i) const;  // index into the reading queue
    float stored(qint64 index) const;
    void dropOldest(int rows);
    qsizetype rowCost(int row, qsizetype perReading) const;

    HistoryUnit unit_;
    qint64 keepMs_;
    qsizetype memoryLimit_ = kDefaultMemoryLimit;
    ChunkedQueue<qint32> times_;  // oldest first, offsets from their run's baseMs
    ChunkedQueue<quint8> meter_;
    ChunkedQueue<qint16> centiDb_;
    ChunkedQueue<Run> runs_;  // oldest first, each with rows still held
    qint64 appended_ = 0;
    qint64 readingsAppended_ = 0;
    qint64 firstHeldReading_ = 0;  // serial of the oldest reading still held
    quint64 revision_ = 0;
    float lowest_;
    float highest_;
};

}  // namespace qv7m
