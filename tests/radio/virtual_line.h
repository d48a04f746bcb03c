#pragma once
// A serial line on a virtual clock with the model radio at its far end. Time
// moves only while the program waits (or when a test says the program is
// busy), so alignment tests run in no real time and always the same way.

#include "core/runtime_error.h"
#include "fake_radio.h"
#include "radio/rawline.h"

#include <stdexcept>

namespace qv7m::test {

class VirtualLine : public RawLine {
public:
    explicit VirtualLine(FakeRadio& radio) : radio_(radio) {}

    LineTime clock = 0;
    LineTime blocked = 0;  // total time spent waiting inside receive()
    int waits = 0;         // receive() calls that had to wait
    std::vector<LineTime> writes;  // time of every Output
    bool gone = false;     // the far end has vanished

    // The program is busy for a while (drawing): bytes arriving meanwhile are
    // taken in late.
    void busy(LineTime t) { clock += t; }
    // The system does not run the program for a while inside its next wait
    // (a loaded machine): it wakes late, with several bytes waiting.
    LineTime stallInNextWait = 0;

    void setCommPort(int16_t p) override { port_ = p; }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& s) override { settings_ = s; }
    QString settings() const override { return settings_; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        if (open && gone) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1: no such device"));
        open_ = open;
        if (open) {
            // Stale input is cleared on open.
            while (!radio_.outgoing.empty() && radio_.outgoing.front().at <= clock)
                radio_.outgoing.erase(radio_.outgoing.begin());
        }
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override {
        check();
        writes.push_back(clock);
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
            // Asked again and again to wait for a moment already past: the
            // caller is going round in circles, and on a real line would
            // spin the processor for ever.
            if (++idleCalls_ > 100000) throw std::logic_error("receive() called over and over without waiting");
            return;
        }
        idleCalls_ = 0;
        ++waits;
        const LineTime start = clock;
        if (!radio_.outgoing.empty() && radio_.outgoing.front().at <= deadline)
            clock = radio_.outgoing.front().at;
        else
            clock = deadline;
        clock += stallInNextWait;
        stallInNextWait = 0;
        blocked += clock - start;
        takeArrived(out);
    }

private:
    void check() {
        if (gone) {
            open_ = false;
            throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1: the port has gone away"));
        }
        if (!open_) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1: the port is not open"));
    }
    // Like the real port: what has arrived is read in one go, and all but
    // the last byte of such a batch are marked as having waited.
    bool takeArrived(std::vector<StampedByte>& out) {
        const size_t first = out.size();
        while (!radio_.outgoing.empty() && radio_.outgoing.front().at <= clock) {
            out.push_back({radio_.outgoing.front().value, clock, false});
            radio_.outgoing.erase(radio_.outgoing.begin());
        }
        for (size_t i = first; i + 1 < out.size(); ++i) out[i].batched = true;
        return out.size() > first;
    }

    FakeRadio& radio_;
    long idleCalls_ = 0;
    int16_t port_ = 1;
    QString settings_;
    bool open_ = false;
};

}  // namespace qv7m::test
