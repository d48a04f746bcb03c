// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated radio's engine at the far end of a serial line on a virtual
// clock, which moves only while the program waits or is said to be busy: no
// real time, always alike. The radio can add a byte to an answer, the line lose
// or garble one; what the radio sends while the port is closed is lost.

#include "core/runtime_error.h"
#include "radio/line.h"
#include "sim/engine.h"

#include <deque>
#include <stdexcept>

namespace qv7m::test {

class VirtualRadio : public Line {
public:
    // Answer: 0-based, in the order the radio sends them; byte: 0-based within it, an added byte goes before it.
    struct LineFault {
        enum Kind { Drop, Add, Garble } kind;
        int answer;
        int byte;
    };

    explicit VirtualRadio(sim::EngineConfig cfg = {})
        : engine(
              withAddedBytes(cfg), sim::Meter(sim::builtinBand(), cfg.seed),
              [this](uint8_t b, int64_t, bool last) { handOver(b, last); }, nullptr) {}

    sim::Engine engine;
    LineTime clock = 0;
    std::vector<QByteArray> answers;  // as the radio sent them (an added byte included), before the line's faults
    std::vector<QByteArray> sent;     // every frame the program sent, and "open" or "close" for the port
    std::vector<LineFault> faults;
    std::deque<QByteArray> script;  // the next answers, in place of the radio's own; an empty one: silent
    // The program is not run for this long once its next wait is over (a
    // loaded machine): it wakes late, with bytes waiting.
    LineTime stallInNextWait = 0;
    int waits = 0;  // receive() calls that had to wait

    void open(int16_t, const LineSettings&) override { setOpen(true); }
    void close() override {
        if (open_) setOpen(false);
    }
    bool isOpen() const override { return open_; }
    void write(const uint8_t* bytes, size_t count) override {
        check();
        for (size_t i = 0; i < count; i += 5) sent.emplace_back(reinterpret_cast<const char*>(bytes + i), 5);
        engine.receive(bytes, count, clock);
    }
    void sleep(LineTime duration) override { clock += duration; }
    // Opens or closes the radio's side only, as another program would.
    void setOpen(bool open) {
        engine.advance(clock);  // what came before the change came to the old state
        sent.push_back(open ? "open" : "close");
        open_ = open;
        waiting_.clear();
    }

    LineTime now() const override { return clock; }
    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        check();
        engine.advance(clock);
        if (waiting_.empty() && deadline > clock) {
            ++waits;
            // Up to the first hand-over, or the deadline.
            for (int64_t next = engine.nextDeadline(); waiting_.empty() && next <= deadline;
                 next = engine.nextDeadline())
                engine.advance(clock = std::max(clock, next));
            if (waiting_.empty()) clock = deadline;
            clock += std::exchange(stallInNextWait, 0);
            engine.advance(clock);
        } else if (waiting_.empty() && ++idleCalls_ > 100000) {
            throw std::logic_error("receive() called over and over without waiting: a real line would spin");
        }
        if (!waiting_.empty()) idleCalls_ = 0;
        for (uint8_t b : waiting_) out.push_back({b, clock});
        waiting_.clear();
    }

private:
    void check() const {
        if (!open_) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1: the port is not open"));
    }
    // The radio sends an added byte in its answer's cadence, as it would its own.
    sim::EngineConfig withAddedBytes(sim::EngineConfig cfg) {
        cfg.tamper = [this](uint64_t n, std::vector<uint8_t>& answer) {
            if (!script.empty()) answer.assign(script.front().begin(), script.front().end());
            if (!script.empty()) script.pop_front();
            for (const LineFault& f : faults)
                if (f.kind == LineFault::Add && uint64_t(f.answer) == n && size_t(f.byte) <= answer.size())
                    answer.insert(answer.begin() + f.byte, 0x5A);
        };
        return cfg;
    }
    void handOver(uint8_t b, bool last) {
        if (answers.size() <= current_) answers.emplace_back();
        const int index = int(answers[current_].size());
        answers[current_].append(char(b));
        bool dropped = false;
        for (const LineFault& f : faults) {
            if (f.answer == int(current_) && f.byte == index) {
                b ^= f.kind == LineFault::Garble ? 0x55 : 0;
                dropped |= f.kind == LineFault::Drop;
            }
        }
        if (!dropped && open_) waiting_.push_back(b);  // sent while the port is closed: lost
        if (last) ++current_;
    }

    std::vector<uint8_t> waiting_;
    size_t current_ = 0;
    bool open_ = false;
    long idleCalls_ = 0;
};

}  // namespace qv7m::test
