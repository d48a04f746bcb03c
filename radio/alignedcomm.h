#pragma once
// Lines the radio's answers up with the program's reads.
//
// The program reads one byte at a time, without waiting, right after its
// request; the radio answers a few milliseconds after the request has crossed
// the wire and paces its bytes. This layer sits between the reads and the
// serial line and gives every read the byte the program's fixed positions
// expect: reads 1 to 3 after a request find nothing, read 3 + i takes answer
// byte i, waiting for it only as long as the line and the pacing can explain.
// Bytes no read takes are dropped and never reach a later request.
//
// It follows the program's own writes to know when each request has fully
// reached the radio (writes queue up at 4800 baud), and uses the arrival time
// of every byte to tell the tail of an earlier answer from the start of the
// current one.

#include "radio/rawline.h"

#include <memory>

namespace qv7m {

class AlignedComm : public MSComm {
public:
    struct Timing {
        LineTime byteTime = kByteTime;
        // How long the radio may take to start an answer once the request is in.
        LineTime latency = 20 * kMillisecond;
        // Room for late stamps and for the system's and adapters' delays.
        LineTime slack = 20 * kMillisecond;
        // How far a byte may sit from the slot its answer's cadence predicts.
        LineTime cadenceTolerance = 5 * kMillisecond;
        // How much later than that a byte may still be handed over: the
        // system, an adapter's latency timer or a busy machine deliver bytes
        // late now and then, never early. Kept under half a paced byte's step.
        LineTime lateTolerance = 8 * kMillisecond;
        // Pacing assumed for waits until the program sets one (it always uses 15 ms).
        // The radio's own pacing is unknown until then (0 after power-up), so
        // until then no byte is judged too close to the one before it.
        int initialPacingMs = 15;
        // The shortest time off the line in which the radio can have been
        // switched off and on, or another one plugged in.
        LineTime radioRestart = 1000 * kMillisecond;
        // How far behind its cadence a radio may fall within an answer (one
        // simulated on a busy machine does) and the rest still be placed by
        // the meter answer's shape.
        LineTime radioLate = 60 * kMillisecond;
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

    // Sends at once; a request frame starts a new request.
    void Output(const QByteArray& bytes) override;
    // One read of the current request: nothing or one answer byte.
    QByteArray Input() override;
    // Waits, taking in and sorting what arrives meanwhile.
    void idleWait(int ms) override;

    // Bytes of the answer to a request frame; 0 for frames the radio does not answer.
    static int answerLength(uint8_t opcode, uint8_t p4);

private:
    static constexpr LineTime kNoLatency = -2;
    struct Request {
        bool active = false;
        uint8_t opcode = 0;
        int expected = 0;      // answer length
        LineTime inAt = 0;     // when its last byte reached the radio
        int pacingMs = 0;      // pacing in force when it was sent; -1 unknown
        int reads = 0;
        int firstGiven = -1;   // the byte its first answer read gave, -1 none
        bool silent = false;   // a wait for it timed out
        std::vector<uint8_t> bytes;
        LineTime last = 0;     // arrival of its latest byte, or when it was due if it came late
        bool lastExact = false;  // whether that arrival was timed as it happened
        bool paced = false;      // its latest byte came a full step after the one before
        int seen = 0;          // answer positions seen (bytes taken in, or passed in its cadence)
        LineTime firstDue = -1;  // the latest its first byte could come, once a byte was taken for it
        LineTime latencyBefore = kNoLatency;  // the latency seen before its first byte changed it
        bool padSeen = false;  // a meter answer whose pad has come: it is over
    };

    void take(LineTime deadline);
    QByteArray read();
    void sort(const StampedByte& b, bool exact);
    void accept(const StampedByte& b, bool exact);
    bool fitsFirstByte(LineTime at, LineTime late) const;
    LineTime undecidedUntil() const;
    LineTime decisionTime() const;
    bool undecidedWasPrevious(LineTime next) const;
    void decide(bool previous);
    LineTime step(const Request& r) const;
    LineTime minStep(const Request& r) const;
    LineTime lateAllowance(const Request& r) const;
    int previousSlot(LineTime at, LineTime* slotAt) const;
    int previousPosition(LineTime at) const;
    LineTime previousEnd() const;
    LineTime nextDeadline() const;
    void retire();
    bool isPad(uint8_t value) const;
    bool takenAsPreviousTail(const StampedByte& b, bool exact);

    std::unique_ptr<RawLine> line_;
    Timing timing_;
    Request cur_;
    Request prev_;
    LineTime txFree_ = 0;   // when the program's writes so far have left the wire
    LineTime awaySince_ = 0;  // when control last went back to the program
    LineTime lastOnLine_ = 0;  // when the program last wrote, read or closed the port
    LineTime latencySeen_ = -1;  // the radio's latency before its last answer; -1 until seen
    QByteArray partialFrame_;
    int pacingMs_;  // the pacing the program last set; -1 while it has set none
    std::vector<StampedByte> scratch_;
    // A byte that may end the previous answer or begin the current one.
    bool hasUndecided_ = false;
    StampedByte undecided_{0, 0};
    int undecidedSlot_ = 0;
    LineTime undecidedSlotAt_ = 0;  // when the slot it fits was due
    bool undecidedLate_ = false;    // it fits the current answer's start only as a late byte
};

}  // namespace qv7m
