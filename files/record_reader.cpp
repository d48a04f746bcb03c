// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/record_reader.h"

#include "files/whole_file.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <charconv>
#include <cmath>
#include <limits>

namespace qv7m {

namespace {

// A hop may start this many readings before the row's end: rtl_power writes
// a hop's last bin twice, at the next hop's first frequency, and its
// cropping rounds the hop's width by a bin or two.
constexpr long long kMaxOverlap = 4;
// A wider gap between two hops than this many hops is no longer one sweep.
constexpr long long kMaxGapHops = 4;
// A line longer than this is skipped unread.
constexpr qsizetype kMaxLineBytes = qsizetype(32) << 20;
constexpr qint64 kChunkBytes = qint64(1) << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

QByteArrayView trimmed(QByteArrayView t) {
    qsizetype b = 0;
    qsizetype e = t.size();
    while (b < e && isBlank(t[b])) ++b;
    while (e > b && isBlank(t[e - 1])) --e;
    return t.sliced(b, e - b);
}

// The fields of a line, comma by comma.
class Fields {
public:
    explicit Fields(QByteArrayView line) : rest_(line) {}
    bool next(QByteArrayView& field) {
        if (done_) return false;
        const qsizetype comma = rest_.indexOf(',');
        if (comma < 0) {
            field = trimmed(rest_);
            done_ = true;
        } else {
            field = trimmed(rest_.first(comma));
            rest_ = rest_.sliced(comma + 1);
        }
        return true;
    }
    bool atEnd() const { return done_; }

private:
    QByteArrayView rest_;
    bool done_ = false;
};

bool finiteNumber(QByteArrayView t, double& v) {
    if (!t.isEmpty() && t[0] == '+') t = t.sliced(1);
    if (t.isEmpty()) return false;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size() && std::isfinite(v);
}

bool wholeNumber(QByteArrayView t, long long& v) {
    if (t.isEmpty()) return false;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size();
}

// Digits at t[at..at+n), as a number; -1 when any is not a digit.
int digits(QByteArrayView t, int at, int n) {
    int v = 0;
    for (int i = at; i < at + n; ++i) {
        if (t[i] < '0' || t[i] > '9') return -1;
        v = v * 10 + (t[i] - '0');
    }
    return v;
}

bool dateOf(QByteArrayView t, QDate& date) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    const int y = digits(t, 0, 4);
    const int m = digits(t, 5, 2);
    const int d = digits(t, 8, 2);
    date = QDate(y, m, d);
    return y >= 0 && m >= 0 && d >= 0 && date.isValid();
}

bool timeOf(QByteArrayView t, QTime& time) {
    if (t.size() != 8 || t[2] != ':' || t[5] != ':') return false;
    time = QTime(digits(t, 0, 2), digits(t, 3, 2), digits(t, 6, 2));
    return time.isValid();
}

// A meter reading as `--record` writes it: 0-255 in plain digits.
bool meterReading(QByteArrayView t) {
    if (t.isEmpty() || t.size() > 3) return false;
    const int v = digits(t, 0, int(t.size()));
    return v >= 0 && v <= 255;
}

}  // namespace

void RecordParser::feedLine(QByteArrayView line, std::vector<RecordRow>& out) {
    lines_ += lines_ < std::numeric_limits<int>::max();
    if (trimmed(line).isEmpty()) return;
    if (!parse(line)) {
        skip();
        return;
    }
    if (pending_ && stamp_ == pendingStamp_ && join()) return;
    if (pending_) out.push_back(std::move(row_));
    if (stamp_ != convertedStamp_) {
        QDate date;
        QTime time;
        dateOf(QByteArrayView(stamp_).first(10), date);
        timeOf(QByteArrayView(stamp_).sliced(10), time);
        // Both writers stamp a sweep with the local clock.
        converted_ = QDateTime(date, time, Qt::LocalTime).toUTC();
        convertedStamp_ = stamp_;
    }
    row_ = RecordRow{converted_, low_, step_, std::move(values_)};
    values_ = {};
    pendingStamp_ = stamp_;
    pending_ = true;
}

void RecordParser::skipLine() {
    lines_ += lines_ < std::numeric_limits<int>::max();
    skip();
}

void RecordParser::finish(std::vector<RecordRow>& out) {
    if (pending_) out.push_back(std::move(row_));
    pending_ = false;
    row_ = RecordRow{};
}

void RecordParser::skip() {
    if (skipped_ == 0) firstSkipped_ = lines_;
    skipped_ += skipped_ < std::numeric_limits<int>::max();
}

bool RecordParser::parse(QByteArrayView line) {
    Fields fields(line);
    QByteArrayView f[6];
    for (QByteArrayView& field : f)
        if (!fields.next(field)) return false;
    QDate date;
    QTime time;
    if (!dateOf(f[0], date) || !timeOf(f[1], time)) return false;
    double high = 0;
    long long samples = 0;
    if (!finiteNumber(f[2], low_) || !finiteNumber(f[3], high) || !finiteNumber(f[4], step_)) return false;
    if (low_ < 0 || step_ <= 0 || !wholeNumber(f[5], samples) || samples < 0) return false;
    values_.clear();
    bool allMeter = true;
    QByteArrayView field;
    while (fields.next(field)) {
        // Some writers end a line with a comma.
        if (field.isEmpty() && fields.atEnd() && !values_.empty()) break;
        double v = 0;
        if (!finiteNumber(field, v) || !std::isfinite(float(v))) return false;
        allMeter = allMeter && meterReading(field);
        values_.push_back(float(v));
    }
    if (values_.empty()) return false;
    // Hz high is the last reading's frequency (`--record`; rtl_power too, as
    // it prints a hop's last bin twice, but its cropping rounds the width
    // down by up to two bins) or the hop's end (other writers). The step is
    // printed to a hundredth of a Hz.
    const double n = double(values_.size());
    const double slack = 2 + 0.01 * n;
    if (high < low_ + (n - 3) * step_ - slack || high > low_ + n * step_ + slack) return false;
    if (!decided_) {
        decided_ = true;
        decibels_ = !allMeter;
    } else if (!decibels_ && !allMeter) {
        return false;
    }
    stamp_.resize(18);
    std::copy(f[0].begin(), f[0].end(), stamp_.begin());
    std::copy(f[1].begin(), f[1].end(), stamp_.begin() + 10);
    return true;
}

bool RecordParser::join() {
    if (std::fabs(step_ - row_.stepHz) > 1e-9 * row_.stepHz) return false;
    const double offset = (low_ - row_.lowHz) / row_.stepHz;
    const long long have = (long long)row_.values.size();
    const long long fresh = (long long)values_.size();
    const long long overlap = std::min(kMaxOverlap, have / 2);
    if (offset < double(have - overlap) - 0.5 || offset > double(have + kMaxGapHops * fresh) + 0.5) return false;
    const long long at = std::llround(offset);
    if (at < have - overlap || at + fresh > (long long)kMaxRowValues) return false;
    // The later hop's readings stand for the overlapping frequencies.
    row_.values.resize(std::size_t(at), std::numeric_limits<float>::quiet_NaN());
    row_.values.insert(row_.values.end(), values_.begin(), values_.end());
    return true;
}

RecordLoader::RecordLoader(QObject* parent) : QObject(parent) { qRegisterMetaType<std::vector<RecordRow>>(); }

RecordLoader::~RecordLoader() { stop(); }

void RecordLoader::start(const QString& path) {
    stop();
    ++generation_;
    cancel_ = false;
    waiting_ = 0;
    lastPercent_ = -1;
    unitSent_ = false;
    const unsigned generation = generation_;
    thread_ = QThread::create([this, path, generation] { load(path, generation); });
    thread_->start();
}

void RecordLoader::cancel() {
    if (!thread_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
    }
    taken_.notify_all();
}

void RecordLoader::stop() {
    if (!thread_) return;
    cancel();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void RecordLoader::deliver(std::vector<RecordRow>&& batch, int percent, int unit, unsigned generation) {
    // A slot may cancel, or start another load, between two signals.
    const auto live = [&] { return generation == generation_ && !cancel_; };
    if (live() && unit >= 0 && !unitSent_) {
        unitSent_ = true;
        emit unitKnown(unit == 1);
    }
    if (live() && !batch.empty()) emit rows(batch);
    if (live() && percent != lastPercent_) {
        lastPercent_ = percent;
        emit progress(percent);
    }
    if (generation != generation_) return;
    // Only now: a slot that cancels finds the load still short of its end.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --waiting_;
    }
    taken_.notify_all();
}

void RecordLoader::end(unsigned generation) {
    if (generation != generation_ || !thread_) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

// Runs on the loader's thread: everything it tells goes through posts to
// the loader's own thread, which drop what an earlier load or a cancel left.
void RecordLoader::load(const QString& path, unsigned generation) {
    const auto fail = [&](const QString& reason) {
        const QString message = fileError(path, reason).message();
        QMetaObject::invokeMethod(
            this,
            [this, generation, message] {
                if (generation != generation_) return;
                end(generation);
                emit failed(message);
            },
            Qt::QueuedConnection);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    const qint64 size = file.size();
    qint64 done = 0;
    RecordParser parser;
    std::vector<RecordRow> batch;
    std::size_t batchValues = 0;
    int postedPercent = -1;
    QElapsedTimer sinceHanded;
    sinceHanded.start();
    // Waits for room among the batches not yet taken; false once cancelled.
    const auto hand = [&](bool always) {
        const int percent = size > 0 ? int(done * 100 / size) : 100;
        if (!always && batchValues < kBatchValues && percent == postedPercent && sinceHanded.elapsed() < kBatchMs)
            return true;
        if (!always && batch.empty() && percent == postedPercent) return true;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            taken_.wait(lock, [this] { return waiting_ < 2 || cancel_; });
            if (cancel_) return false;
            ++waiting_;
        }
        const int unit = parser.unitDecided() ? int(parser.decibels()) : -1;
        QMetaObject::invokeMethod(
            this,
            [this, b = std::move(batch), percent, unit, generation]() mutable {
                deliver(std::move(b), percent, unit, generation);
            },
            Qt::QueuedConnection);
        batch = {};
        batchValues = 0;
        postedPercent = percent;
        sinceHanded.restart();
        return true;
    };
    const auto feed = [&](QByteArrayView line) {
        const std::size_t before = batch.size();
        parser.feedLine(line, batch);
        for (std::size_t i = before; i < batch.size(); ++i) batchValues += batch[i].values.size();
    };

    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    QByteArray carry;  // a line begun in an earlier chunk
    bool overlong = false;
    bool going = true;
    while (going && !cancel_) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) return fail(file.errorString());
        if (n == 0) break;
        done += n;
        QByteArrayView rest(chunk.constData(), n);
        for (qsizetype eol = rest.indexOf('\n'); eol >= 0 && going; eol = rest.indexOf('\n')) {
            if (overlong) {
                parser.skipLine();
                overlong = false;
            } else if (!carry.isEmpty()) {
                carry.append(rest.first(eol));
                feed(carry);
                carry.clear();
            } else {
                feed(rest.first(eol));
            }
            rest = rest.sliced(eol + 1);
            going = batchValues < kBatchValues || hand(false);
        }
        if (!overlong) carry.append(rest);
        if (carry.size() > kMaxLineBytes) {
            overlong = true;
            carry = QByteArray();
        }
        going = going && hand(false);
    }
    if (going && !cancel_) {
        if (overlong)
            parser.skipLine();
        else if (!carry.isEmpty())
            feed(carry);
        parser.finish(batch);
        going = hand(true);
    }
    const bool cancelled = !going || cancel_;
    const int skipped = parser.skipped();
    const int first = parser.firstSkippedLine();
    const bool decibels = parser.decibels();
    QMetaObject::invokeMethod(
        this,
        [this, generation, skipped, first, decibels, cancelled] {
            if (generation != generation_) return;
            end(generation);
            // Cancelled after the last batch was posted: that batch was dropped.
            emit finished(skipped, first, decibels, cancelled || cancel_);
        },
        Qt::QueuedConnection);
}

}  // namespace qv7m
