// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a record of sweeps back: the file `--record` writes (meter
// readings 0-255, one line a sweep) and rtl_power's own CSV (dB with
// decimals, one line a hop, several hops a sweep). Both are
// "date, time, Hz low, Hz high, Hz step, samples, reading, ...", with the
// date and time on the writer's local clock.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

class QThread;

namespace qv7m {

// One sweep: reading i lies at lowHz + i * stepHz. A reading missing between
// two hops of a sweep (a hop whose line was skipped) is NaN.
struct RecordRow {
    QDateTime utc;
    double lowHz = 0;
    double stepHz = 0;
    std::vector<float> values;
};

// Turns lines into rows, one line at a time, so that a file of any size is
// read in pieces. Lines of the same date and time whose hops follow each
// other on the same step become one row; a hop that overlaps the row's end
// by a few readings (rtl_power repeats a hop's last reading where the next
// hop starts) replaces them, and a hop that leaves a gap of up to a few hops
// has the gap filled with NaN. Any other hop (another step, going back, a
// wider gap) starts a row of its own. A hop lands on the row's nearest step:
// rtl_power's cropped hops may sit up to half a step off its grid. Blank
// lines are passed over and not counted as skipped.
class RecordParser {
public:
    // Longest row built by joining hops; longer sweeps go on in a new row.
    static constexpr std::size_t kMaxRowValues = std::size_t(1) << 22;

    // A line without its line ending (a trailing CR is ignored). Completed
    // rows are appended to out; the row in progress waits for its next hop.
    void feedLine(QByteArrayView line, std::vector<RecordRow>& out);
    // Counts a line that was not even looked at (one too long to hold).
    void skipLine();
    // Hands over the row in progress.
    void finish(std::vector<RecordRow>& out);

    int lines() const { return lines_; }
    int skipped() const { return skipped_; }
    // 1-based; 0 when no line was skipped. The counts stop at INT_MAX.
    int firstSkippedLine() const { return firstSkipped_; }
    // Decided by the first good line: dB when any of its readings is not a
    // plain integer 0-255. In a meter record a later line that is not all
    // meter readings cannot be read.
    bool decibels() const { return decibels_; }
    bool unitDecided() const { return decided_; }

private:
    bool parse(QByteArrayView line);
    void skip();
    bool join();

    int lines_ = 0;
    int skipped_ = 0;
    int firstSkipped_ = 0;
    bool decided_ = false;
    bool decibels_ = false;
    // The line just parsed.
    QByteArray stamp_;
    double low_ = 0;
    double step_ = 0;
    std::vector<float> values_;
    // The row in progress and the date and time it was stamped with.
    bool pending_ = false;
    QByteArray pendingStamp_;
    RecordRow row_;
    // The last stamp converted, since every hop of a sweep repeats it.
    QByteArray convertedStamp_;
    QDateTime converted_;
};

// Loads a record on a thread of its own, in chunks, and hands the rows over
// in batches on the thread that made the loader. At most two batches are on
// their way at any time (the one being taken included), so the loader never
// floods that thread's event queue. Destroying the loader cancels the load
// and waits for its thread; from a slot of its own, use deleteLater().
class RecordLoader : public QObject {
    Q_OBJECT
public:
    // A batch is handed over once it holds this many readings (1 MB of
    // floats), at each percent of the file, or when kBatchMs have passed
    // since the last one: taking one is a short job for the window's thread.
    static constexpr std::size_t kBatchValues = std::size_t(1) << 18;
    static constexpr int kBatchMs = 100;

    explicit RecordLoader(QObject* parent = nullptr);
    ~RecordLoader() override;

    // Starts loading path. A load in progress is cancelled first and tells
    // nothing more; this one ends in finished() or failed().
    void start(const QString& path);
    // Stops the load promptly; finished() follows with cancelled set, and
    // no batch arrives after this call.
    void cancel();
    bool running() const { return thread_ != nullptr; }

signals:
    // Sent once, before the first batch: the readings' unit.
    void unitKnown(bool decibels);
    void progress(int percent);
    void rows(const std::vector<qv7m::RecordRow>& batch);
    void finished(int skipped, int firstSkippedLine, bool decibels, bool cancelled);
    // The file could not be opened or read: its name and the system's reason.
    void failed(const QString& message);

private:
    void load(const QString& path, unsigned generation);
    void deliver(std::vector<RecordRow>&& batch, int percent, int unit, unsigned generation);
    // The load's last post: its thread is done and goes.
    void end(unsigned generation);
    void stop();

    QThread* thread_ = nullptr;
    std::atomic<bool> cancel_{false};
    unsigned generation_ = 0;  // posts of an earlier load are dropped
    std::mutex mutex_;
    std::condition_variable taken_;
    int waiting_ = 0;  // batches posted and not yet taken
    int lastPercent_ = -1;
    bool unitSent_ = false;
};

}  // namespace qv7m

Q_DECLARE_METATYPE(std::vector<qv7m::RecordRow>)
