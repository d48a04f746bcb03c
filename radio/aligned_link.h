// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The radio's answers lined up with the operations that asked for them, by
// order and count. An operation sends its frames and takes the bytes of its
// own answer; the radio's timing never moves a byte to another request.
//
//  1. Every request owes an answer of the length the protocol gives; every
//     byte received is the next byte of the oldest answer owed.
//  2. The answer of the latest request is the current one: take(i) waits for
//     its byte i. A request's answer not taken in full still comes, and its
//     bytes are dropped as they do. One request may be sent ahead of its
//     turn: its answer queues behind the current one, and becomes current
//     when the same request is asked next, without going out again.
//  3. Shapes: a meter answer is four equal copies, then F7; a status record
//     names a frequency the radio tunes. A byte is taken once the shape is
//     checked on it: a meter answer's first with the second, a record's
//     first five together.
//  4. An answer is over, its remaining bytes given up, when its next byte is
//     later than margin + one paced byte after the radio could send it, or
//     margin + two after its last byte. What has arrived is taken in first.
//     One asked before the program set the pacing starts afresh instead.
//  5. A broken shape, or a byte nobody is owed, starts afresh: nothing is
//     taken, bytes are dropped, and no request goes out until the line has
//     been quiet for margin + two paced bytes, or (its answer given up) a bound.
//  6. A close first waits, within a bound, for the owed answers and, once
//     anything was heard, a quiet line; if it is not quiet after a fault, the
//     reopened port starts afresh.
//
// Pacing is the largest the program set since the port opened, or the radio's
// largest for answers asked before that. Every wait blocks on the line, and
// sleeps through bytes that cannot yet be all there.
//
// The margin (120 ms) is room for the radio's latency and jitter, an adapter's
// batches and a loaded machine, all together: an answer whose first byte
// comes up to 120 ms + one paced byte after its request is in (137 ms at the
// scan's 15 ms pacing) is read right. Where the pacing is not known (rule 4's
// answer asked before it was set, and those asked while that one was owed)
// the byte is paced as the radio's longest.

#include "radio/line.h"

#include <deque>
#include <memory>
#include <optional>

namespace qv7m {

class AlignedLink {
public:
    struct Timing {
        LineTime byteTime = kByteTime;
        // Beyond the byte itself and the pacing: room for the radio's latency
        // and its jitter, an adapter's latency timer and a loaded machine.
        LineTime margin = 120 * kMillisecond;
        // The longest a close, or a request after a fault, waits for the line.
        LineTime waitBound = 1000 * kMillisecond;
    };

    explicit AlignedLink(std::unique_ptr<Line> line);
    AlignedLink(std::unique_ptr<Line> line, const Timing& timing);
    virtual ~AlignedLink() = default;

    Line& line() { return *line_; }

    virtual void open(int16_t port);
    // Waits for what is owed (rule 6), then closes the port.
    virtual void close();
    bool isOpen() const { return line_->isOpen(); }

    // A frame the radio only acts on; a pacing frame's pacing is noted.
    virtual void send(const cat::Frame& frame);
    // A request: its answer, of the length the protocol gives, becomes the
    // current one. Waits only while the link starts afresh. The request sent
    // ahead, when it is this one, becomes current instead of going out again;
    // one that is not is given up (owed, its bytes dropped).
    virtual void ask(const cat::Frame& request);
    // Sends a request now whose answer a later ask() of the same frame takes,
    // while the current answer may still be arriving. One at a time.
    void askAhead(const cat::Frame& request);
    bool hasAhead() const;
    // Byte i (1-based) of the current answer; nothing when the answer is over
    // without it, broken, or there is no such byte.
    virtual std::optional<uint8_t> take(int i);
    // Waits, taking in what arrives meanwhile.
    virtual void pause(int ms);

private:
    // Whom an answer is for: a read may take the current one, the one sent
    // ahead waits its turn, and what is only owed is dropped as it comes.
    enum class Role { Owed, Current, Ahead };
    struct Answer {
        Role role = Role::Owed;
        cat::Frame frame{};
        uint8_t opcode = 0;
        int length = 0;
        std::vector<uint8_t> bytes;  // received so far
        LineTime inAt = 0;           // when its request had crossed the wire
        LineTime clockFrom = -1;     // its next byte's deadline counts from here; -1 while not first in line
        bool pacingKnown = false;    // the program had set the pacing when it asked, and what came before kept it
        bool askedPaced = false;     // the program had set the pacing when it asked
        bool over = false;           // complete, past its deadline, or broken
        bool broken = false;         // nothing more is taken from it
    };

    void write(const cat::Frame& frame, bool asks, Role role = Role::Current);
    Answer* find(Role role);
    const Answer* find(Role role) const;
    // Gives up an answer's role: it stays owed while its bytes may come.
    void release(Answer& a);
    // The answers over that nobody reads any more leave the queue; over
    // answers always lead it, because answers end in the order they were asked.
    void prune();
    // The oldest answer still owed, if any.
    Answer* owedFront();
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
    bool owes() { return owedFront() != nullptr; }
    bool waitForLine(bool forClose);
    static bool isRecord(const Answer& a);
    // Bytes still to come before byte i of the current answer can be taken.
    int bytesAhead(const Answer& current, int i) const;
    // The least pacing (ms) the radio surely keeps between the bytes owed.
    int surePacing() const;
    static int checked(const Answer& a);

    std::unique_ptr<Line> line_;
    Timing timing_;
    // The answers still owed, oldest first, with the current request's, which
    // stays (over or not) until the next request, and the one sent ahead.
    std::deque<Answer> answers_;
    bool afresh_ = false;
    bool slowTail_ = false;   // an answer paced as the program never set may still be coming
    bool heard_ = false;      // a byte came since the port opened
    bool unsettled_ = false;  // the port was last closed before the line went quiet after a fault
    LineTime lastHeard_ = 0;  // the latest byte taken in, or request in, since the port opened
    LineTime txFree_ = 0;     // when the program's writes so far have left the wire
    int pacingMs_ = -1;       // the largest pacing set since the port opened; -1 none
    int leastPacingMs_ = -1;  // the smallest pacing set since the port opened; -1 none
    std::vector<StampedByte> scratch_;
};

}  // namespace qv7m
