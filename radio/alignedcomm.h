#pragma once
// Lines the radio's answers up with the program's reads, by order and count.
//
// The program reads one byte at a time, without waiting, right after its
// request. This layer sits between those reads and the serial line. Its rules:
//
//  1. Every request (a frame the radio answers) owes an answer whose length
//     the protocol gives. Every byte received is the next byte of the oldest
//     answer still owed.
//  2. Reads 1 to 3 after a request find nothing; read 3 + i takes byte i of
//     that request's answer, waiting for it. Reads past the answer's length,
//     or with no request, find nothing at once.
//  3. Shapes: a meter answer is its reading four times, then F7, and its
//     first byte goes to a read only once the second agrees with it; a status
//     record's frequency (bytes 2 to 5) is one the radio tunes.
//  4. An answer is over without all its bytes when its next byte has not come
//     within a deadline: margin + one paced byte counted from when the radio
//     could have sent it (its request in and the answers before it over), or
//     margin + two paced bytes from its last byte (one may be lost). What has
//     already arrived is taken in before a deadline is judged. Its remaining
//     reads find nothing.
//  5. An answer that breaks its shape, or a byte with no answer owed,
//     starts afresh: the owed answers' remaining reads find nothing, bytes are
//     dropped, and no request goes out until the line has been quiet for
//     margin + two paced bytes. Then nothing is owed.
//  6. Closing the port first waits, within a bound, for the owed answers and
//     a quiet line, so that no answer is cut in two by a close and a reopen,
//     nor a byte too many taken for the next request's after it.
//
// The pacing in a deadline is the largest the program has set since the port
// was opened; for a request sent before it set any, the radio's largest, and
// so for the quiet while the radio may still be sending such an answer.
// Every wait blocks on the line.

#include "radio/rawline.h"

#include <deque>
#include <memory>

namespace qv7m {

class AlignedComm : public MSComm {
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
    void waitForLine(bool untilNothingOwed);

    std::unique_ptr<RawLine> line_;
    Timing timing_;
    // The answers still owed, oldest first, and last the current request's,
    // which stays (over or not) until the next request for its reads.
    std::deque<Answer> answers_;
    bool hasCurrent_ = false;
    int reads_ = 0;
    bool afresh_ = false;
    bool slowTail_ = false;   // an answer paced as the program never set may still be coming
    LineTime lastHeard_ = 0;  // the latest byte taken in, or request in, since the port opened
    LineTime txFree_ = 0;     // when the program's writes so far have left the wire
    int pacingMs_ = -1;       // the largest pacing set since the port opened; -1 none
    QByteArray partialFrame_;
    std::vector<StampedByte> scratch_;
};

}  // namespace qv7m
