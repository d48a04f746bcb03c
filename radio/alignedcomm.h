#pragma once
// Lines the radio's answers up with the program's reads, by order and count.
// The program reads one byte at a time, without waiting, after its request.
//
//  1. Every request owes an answer of the length the protocol gives; every
//     byte received is the next byte of the oldest answer owed.
//  2. Reads 1-3 after a request find nothing; read 3 + i waits for byte i of
//     its answer. Reads past the answer, or with no request, find nothing.
//  3. Shapes: a meter answer is four equal copies, then F7; a status record
//     names a frequency the radio tunes. A read takes a byte once the shape
//     is checked on it: a meter answer's first with the second, a record's
//     first five together.
//  4. An answer is over, its remaining reads empty, when its next byte is
//     later than margin + one paced byte after the radio could send it, or
//     margin + two after its last byte. What has arrived is taken in first.
//     One asked before the program set the pacing starts afresh instead.
//  5. A broken shape, or a byte nobody is owed, starts afresh: reads find
//     nothing, bytes are dropped, and no request goes out until the line has
//     been quiet for margin + two paced bytes, or (its answer given up) a bound.
//  6. A close first waits, within a bound, for the owed answers and, once
//     anything was heard, a quiet line; if it is not quiet after a fault, the
//     reopened port starts afresh.
//
// Pacing is the largest the program set since the port opened, or the radio's
// largest for answers asked before that. Every wait blocks on the line.

#include "radio/rawline.h"

#include <deque>
#include <memory>

namespace qv7m {

class AlignedComm : public CommControl {
public:
    struct Timing {
        LineTime byteTime = kByteTime;
        // Beyond the byte itself and the pacing: room for the radio's latency
        // and its jitter, an adapter's latency timer and a loaded machine.
        LineTime margin = 120 * kMillisecond;
        // The longest a close, or a request after a fault, waits for the line.
        LineTime waitBound = 1000 * kMillisecond;
    };

    explicit AlignedComm(std::unique_ptr<RawLine> line);
    AlignedComm(std::unique_ptr<RawLine> line, const Timing& timing);

    RawLine& line() { return *line_; }

    void setCommPort(int16_t port) override { line_->setCommPort(port); }
    int16_t commPort() const override { return line_->commPort(); }
    void setSettings(const QString& settings) override { line_->setSettings(settings); }
    QString settings() const override { return line_->settings(); }
    void setRThreshold(int16_t n) override { line_->setRThreshold(n); }
    void setSThreshold(int16_t n) override { line_->setSThreshold(n); }
    void setInputLen(int16_t n) override { line_->setInputLen(n); }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return line_->portOpen(); }
    int16_t commEvent() const override { return line_->commEvent(); }

    // Sends at once; a request waits only while the link starts afresh.
    void Output(const QByteArray& bytes) override;
    // One read of the current request: nothing or one answer byte.
    QByteArray Input() override;
    // Waits, taking in what arrives meanwhile.
    void idleWait(int ms) override;

private:
    struct Answer {
        uint8_t opcode = 0;
        int length = 0;
        std::vector<uint8_t> bytes;  // received so far
        LineTime inAt = 0;           // when its request had crossed the wire
        LineTime clockFrom = -1;     // its next byte's deadline counts from here; -1 while not first in line
        bool pacingKnown = false;    // the program had set the pacing when it asked
        bool over = false;           // complete, past its deadline, or broken
        bool broken = false;         // its remaining reads find nothing
    };

    void settle();
    void wait(LineTime until);
    void sort(const StampedByte& b);
    bool keepsShape(const Answer& a) const;
    void finishFront(LineTime at);
    void expire(LineTime now);
    void startAfresh();
    LineTime deadline(bool pacingKnown, int bytes) const;
    LineTime due(const Answer& a) const;
    LineTime quietAt() const;
    bool owes() const { return !answers_.empty() && !answers_.front().over; }
    bool waitForLine(bool forClose);
    static bool isRecord(const Answer& a);
    static int checked(const Answer& a);

    std::unique_ptr<RawLine> line_;
    Timing timing_;
    // The answers still owed, oldest first, and last the current request's,
    // which stays (over or not) until the next request for its reads.
    std::deque<Answer> answers_;
    bool hasCurrent_ = false;
    int reads_ = 0;
    bool afresh_ = false;
    bool slowTail_ = false;   // an answer paced as the program never set may still be coming
    bool heard_ = false;      // a byte came since the port opened
    bool unsettled_ = false;  // the port was last closed before the line went quiet after a fault
    LineTime lastHeard_ = 0;  // the latest byte taken in, or request in, since the port opened
    LineTime txFree_ = 0;     // when the program's writes so far have left the wire
    int pacingMs_ = -1;       // the largest pacing set since the port opened; -1 none
    QByteArray partialFrame_;
    std::vector<StampedByte> scratch_;
};

}  // namespace qv7m
