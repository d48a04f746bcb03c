#pragma once
// A serial line on a virtual clock with the model radio at its far end. Time
// moves only while the program waits (or when a test says the program is
// busy), so alignment tests run in no real time and always the same way.

#include "core/runtime_error.h"
#include "fake_radio.h"

#include <stdexcept>

namespace qv7m::test {

class VirtualLine : public RawLine {
public:
    explicit VirtualLine(FakeRadio& radio) : radio_(radio) {}

    LineTime clock = 0;
    int waits = 0;      // receive() calls that had to wait
    bool gone = false;  // the far end has vanished
    // Like the real port, mark all but the last byte read in one go as having
    // waited; off, bytes handed over late look exactly timed (the harder case).
    bool marksBatches = true;
    // The program is not run for a while inside its next wait (a loaded
    // machine): it wakes late, with several bytes waiting.
    LineTime stallInNextWait = 0;

    // The program is busy (drawing): bytes arriving meanwhile are taken in late.
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
        open_ = open;
        while (open && !radio_.outgoing.empty() && radio_.outgoing.front().at <= clock)  // stale input
            radio_.outgoing.erase(radio_.outgoing.begin());
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override {
        check();
        for (char c : bytes) radio_.receive(uint8_t(c), clock);
    }
    QByteArray Input() override { return {}; }
    int16_t commEvent() const override { return 0; }
    void idleWait(int ms) override { clock += LineTime(ms) * kMillisecond; }

    LineTime now() const override { return clock; }
    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        check();
        if (takeArrived(out)) {
            idleCalls_ = 0;
            return;
        }
        if (deadline <= clock) {
            // Asked over and over to wait for a moment already past: a real
            // line would spin the processor for ever.
            if (++idleCalls_ > 100000) throw std::logic_error("receive() called over and over without waiting");
            return;
        }
        idleCalls_ = 0;
        ++waits;
        const bool comes = !radio_.outgoing.empty() && radio_.outgoing.front().at <= deadline;
        clock = (comes ? radio_.outgoing.front().at : deadline) + stallInNextWait;
        stallInNextWait = 0;
        takeArrived(out);
    }

private:
    void check() {
        if (gone) open_ = false;
        const char* why = gone ? "COM1: the port has gone away" : "COM1: the port is not open";
        if (!open_) throw RuntimeError(RuntimeError::Kind::Serial, QString::fromLatin1(why));
    }
    // What has arrived is read in one go.
    bool takeArrived(std::vector<StampedByte>& out) {
        const size_t first = out.size();
        while (!radio_.outgoing.empty() && radio_.outgoing.front().at <= clock) {
            out.push_back({radio_.outgoing.front().value, clock, false});
            radio_.outgoing.erase(radio_.outgoing.begin());
        }
        for (size_t i = first; marksBatches && i + 1 < out.size(); ++i) out[i].batched = true;
        return out.size() > first;
    }

    FakeRadio& radio_;
    long idleCalls_ = 0;
    bool open_ = false;
};

}  // namespace qv7m::test
