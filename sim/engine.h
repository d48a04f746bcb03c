// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated radio without its pseudo-terminal: bytes go in with the time
// they were read, answer bytes come out with the time they are due, and every
// time is explicit, so the line's timing can be checked without a clock.
//
// The line is modelled at 4800 baud 8N2 in both directions. A byte read at r
// is taken in at max(r, arrival of the byte before) + one byte time. A frame
// is handled when its fifth byte is in; a partial frame followed by a pause
// is dropped. An answer starts `latency` (plus a random jitter) after its
// request is in and not before the previous answer has ended; each byte takes
// one byte time, and the pacing delay (opcode 0E) comes before every byte or
// only between bytes: radios differ. Bytes may then be handed over in batches,
// as a USB-serial adapter's latency timer does, without moving the radio's
// own timing.

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sim/band.h"

namespace qv7m::sim {

enum class Fault { None, Silent, Garbage, Drop, Extra, Hangup };

struct Retune {
    bool byFrames = false;
    int64_t atNs = 0;       // when byFrames is false: time since start
    uint64_t atFrames = 0;  // when byFrames is true: after this many frames
    int64_t hz = 0;
};

struct EngineConfig {
    int64_t vfoaHz = 14250000;
    int64_t vfobHz = 14250000;
    int64_t latencyNs = 3000000;
    // Each answer's latency gains a uniform draw from [0, jitterNs], from a
    // generator of its own so that jitter leaves the faults' random bytes alone.
    int64_t jitterNs = 0;
    // Pacing before every answer byte, the first too: n * (byte time + N).
    // False: only between bytes, n * byte time + (n - 1) * N.
    bool paceBeforeFirstByte = true;
    // Above 0: an answer byte sent at t reaches the program at the next
    // multiple of batchNs at or after t, with whatever else is due by then.
    int64_t batchNs = 0;
    int64_t resyncNs = 20000000;  // pause after which a partial frame is dropped
    Fault fault = Fault::None;
    uint64_t hangupAfter = 0;  // frames, for Fault::Hangup
    uint64_t seed = 1;
    // Above 0: each tuning of VFO-B moves its reading by a repeatable draw
    // from -fading to +fading meter units, as signals fade from sweep to sweep.
    int fading = 0;
    std::vector<Retune> retunes;
    // Set when the engine runs on the real clock: an answer byte whose time has
    // passed when the process gets to it (a busy machine woke it late) goes out
    // at once, and the rest of the answer keeps its full pacing from there. A
    // radio's own timer never squeezes the gaps to catch up.
    bool realClock = false;
    // For tests on the engine: changes answer number n (from 0, in the order
    // the radio makes them) before it is sent, as a radio that adds, loses or
    // garbles a byte of one answer does.
    std::function<void(uint64_t n, std::vector<uint8_t>& answer)> tamper;
};

class Engine {
public:
    static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

    // One answer byte, due at `atNs`: when its stop bit ends, or with batches,
    // when the adapter hands it over. `last` marks the last byte of an answer.
    using ByteOut = std::function<void(uint8_t byte, int64_t atNs, bool last)>;
    // One finished log line, without the newline.
    using LogOut = std::function<void(const std::string& line)>;

    Engine(EngineConfig cfg, Meter meter, ByteOut out, LogOut log);

    // Bytes read from the line at nowNs. Handles whatever was due first.
    void receive(const uint8_t* data, size_t n, int64_t nowNs);
    // Handles, in time order, everything due at or before nowNs.
    void advance(int64_t nowNs);
    // When something is next due, or kNever: the line is idle.
    int64_t nextDeadline() const;

    // Logs "t=<now> event=<text>".
    void event(int64_t nowNs, const std::string& text);

    bool hungUp() const { return hungUp_; }
    int64_t vfoaHz() const { return vfoa_; }
    int64_t vfobHz() const { return vfob_; }
    int pacingMs() const { return pacingMs_; }
    uint64_t frames() const { return frames_; }
    const Meter& meter() const { return meter_; }

    // The meter byte of the receiver that read-meter parameter P1 selects:
    // 01 the sub receiver (VFO-B), 80 and above the transmit meters (zero while
    // receiving), anything else the main receiver (VFO-A).
    int meterFor(uint8_t p1) const;

private:
    struct Answer {
        std::vector<uint8_t> bytes;
        int64_t readyAt = 0;  // request in + latency + jitter
        bool started = false;
        size_t next = 0;
        int64_t nextAt = 0;
        int64_t pacingNs = 0;
    };
    struct Handover {
        uint8_t byte;
        int64_t at;
        bool last;
    };
    enum Due { kHandover, kInput, kPartial, kRetune, kAnswer, kNone };

    Due nextDue(int64_t& at) const;
    int64_t handoverAt(int64_t sentNs) const;
    void handleFrame(int64_t at);
    std::vector<uint8_t> answerFor(const uint8_t* f, std::string& note);
    void applyFault(std::vector<uint8_t>& a, std::string& note);
    void setVfo(const uint8_t* f, int64_t& vfo, std::string& note);
    void retune(int64_t at, int64_t hz);
    void logLine(int64_t at, const std::string& rest);

    EngineConfig cfg_;
    Meter meter_;
    ByteOut out_;
    LogOut log_;
    std::mt19937_64 rng_;        // the faults' random bytes
    std::mt19937_64 jitterRng_;  // the answers' latency jitter

    int64_t vfoa_, vfob_;
    uint64_t vfobTunes_ = 0;  // for the fading
    int pacingMs_ = 0;
    uint64_t frames_ = 0;
    uint64_t answersMade_ = 0;
    bool hungUp_ = false;

    struct Pending {
        uint8_t byte;
        int64_t at;
    };
    std::deque<Pending> input_;  // read but not yet in, in arrival order
    int64_t lastArrival_ = std::numeric_limits<int64_t>::min() / 2;
    std::vector<uint8_t> frame_;

    std::deque<Answer> answers_;
    int64_t lineFreeAt_ = 0;         // end of the last answer sent
    std::deque<Handover> handover_;  // sent, not yet handed over, in order

    std::vector<Retune> timed_;  // by time, in order
    size_t nextTimed_ = 0;
};

// "0A1B" style upper-case hex, no separators; "-" for nothing.
std::string hexBytes(const uint8_t* p, size_t n);
// Milliseconds with three decimals.
std::string formatMs(int64_t ns);

}  // namespace qv7m::sim
