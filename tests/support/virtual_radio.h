#pragma once
// The simulated radio's engine at the far end of a serial line on a virtual
// clock. Time moves only while the program waits, or when a test says the
// program is busy, so the link's tests run in no real time and always alike.
// The radio can add a byte to a given answer, the line can lose or garble one,
// and bytes the radio sends while the port is closed are lost, as on a real line.

#include "core/runtime_error.h"
#include "radio/rawline.h"
#include "sim/engine.h"

#include <deque>
#include <stdexcept>

namespace qv7m::test {

class VirtualRadio : public RawLine {
public:
    struct LineFault {
        enum Kind { Drop, Add, Garble } kind;
        int answer;  // 0-based, in the order the radio sends them
        int byte;    // 0-based within that answer; an added byte goes before it
    };

    explicit VirtualRadio(const sim::EngineConfig& cfg)
        : engine(withAddedBytes(cfg), sim::Meter(sim::builtinBand(), cfg.seed),
                 [this](uint8_t b, int64_t at, bool last) { handOver(b, at, last); }, nullptr) {}

    sim::Engine engine;
    LineTime clock = 0;
    // Every answer as the radio sent it (an added byte included), before the line's faults.
    std::vector<QByteArray> answers;
    std::vector<LineFault> faults;
    // The program is not run for this long once its next wait is over (a
    // loaded machine): it wakes late, with bytes waiting.
    LineTime stallInNextWait = 0;
    bool gone = false;  // the far end has vanished

    void busy(LineTime t) { clock += t; }

    void setCommPort(int16_t) override {}
    int16_t commPort() const override { return 1; }
    void setSettings(const QString&) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        if (open && gone) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1: no such device"));
        engine.advance(clock);  // what came before the change came to the old state
        open_ = open;
        waiting_.clear();
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override {
        check();
        engine.receive(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), clock);
    }
    QByteArray Input() override { return {}; }
    int16_t commEvent() const override { return 0; }
    void idleWait(int ms) override { clock += LineTime(ms) * kMillisecond; }

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
            clock += stallInNextWait;
            stallInNextWait = 0;
            engine.advance(clock);
        } else if (waiting_.empty() && ++idleCalls_ > 100000) {
            throw std::logic_error("receive() called over and over without waiting: a real line would spin");
        }
        if (!waiting_.empty()) idleCalls_ = 0;
        for (uint8_t b : waiting_) out.push_back({b, clock});
        waiting_.clear();
    }

    int waits = 0;  // receive() calls that had to wait

private:
    void check() {
        if (gone) open_ = false;
        if (!open_)
            throw RuntimeError(RuntimeError::Kind::Serial,
                               QString::fromLatin1(gone ? "COM1: the port has gone away" : "COM1: the port is not open"));
    }
    // The radio sends an added byte in its answer's cadence, as it would its own.
    sim::EngineConfig withAddedBytes(sim::EngineConfig cfg) {
        cfg.tamper = [this](uint64_t n, std::vector<uint8_t>& answer) {
            for (const LineFault& f : faults)
                if (f.kind == LineFault::Add && uint64_t(f.answer) == n && size_t(f.byte) <= answer.size())
                    answer.insert(answer.begin() + f.byte, 0x5A);
        };
        return cfg;
    }
    void handOver(uint8_t b, int64_t, bool last) {
        if (answers.size() <= current_) answers.emplace_back();
        const int index = int(answers[current_].size());
        answers[current_].append(char(b));
        bool dropped = false;
        for (const LineFault& f : faults) {
            if (f.answer != int(current_) || f.byte != index) continue;
            if (f.kind == LineFault::Garble) b ^= 0x55;
            dropped = dropped || f.kind == LineFault::Drop;
        }
        if (!dropped) deliver(b);
        if (last) ++current_;
    }
    void deliver(uint8_t b) {
        if (open_) waiting_.push_back(b);  // sent while the port is closed: lost
    }

    std::deque<uint8_t> waiting_;
    size_t current_ = 0;
    bool open_ = false;
    long idleCalls_ = 0;
};

}  // namespace qv7m::test
