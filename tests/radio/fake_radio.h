#pragma once
// A model of the radio on its CAT port, on any clock: takes the program's
// bytes as they cross the wire at 4800 baud and schedules the answers as the
// radio sends them (latency, one byte time each, the pacing between bytes,
// one answer after another). Faults are injected per answer.

#include "radio/rawline.h"

#include <QByteArray>
#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace qv7m::test {

struct FakeRadio {
    using Answer = std::vector<std::optional<uint8_t>>;  // nullopt: sent, but lost on the line

    LineTime latency = 3 * kMillisecond;
    int pacingMs = 15;
    std::function<uint8_t(int)> meter = [](int) { return uint8_t(0x42); };  // by answer number
    int32_t frequency = 1425000;                                             // 10 Hz units
    // Changes answer number `index` (0-based) and its latency.
    std::function<void(int index, Answer& answer, LineTime& latency)> tamper;
    // How much later than it crossed the wire each answer byte reaches the
    // program (a busy machine, a USB adapter's latency timer); never overtaking.
    std::function<LineTime()> handOverDelay;
    // How late the radio itself is with byte i of answer number `index` (as
    // a simulator is when its machine stalls); what follows keeps its pacing
    // from there.
    std::function<LineTime(int index, size_t i)> stall;

    struct Scheduled {
        LineTime at;
        uint8_t value;
    };
    std::vector<Scheduled> outgoing;  // sorted by time
    std::vector<QByteArray> frames;   // every frame received
    int answered = 0;

    void receive(uint8_t byte, LineTime writtenAt) {
        const LineTime arrived = std::max(writtenAt, inboundFree_) + kByteTime;
        inboundFree_ = arrived;
        frame_.append(char(byte));
        if (frame_.size() < 5) return;
        frames.push_back(frame_);
        handle(frame_, arrived);
        frame_.clear();
    }

    // The program's bytes are held up once on their way (a busy machine, an
    // adapter): the wire falls behind the writes, and stays behind while
    // the program keeps it busy.
    void holdUpWire(LineTime t) { inboundFree_ += t; }

    void noise(LineTime at, uint8_t value) {
        auto pos = std::upper_bound(outgoing.begin(), outgoing.end(), at,
                                    [](LineTime t, const Scheduled& s) { return t < s.at; });
        outgoing.insert(pos, Scheduled{at, value});
    }

    // The 16-byte record of the current operating data; the frequency in 0.625 Hz units.
    static Answer statusRecord(int32_t frequency) {
        const uint32_t count = uint32_t(frequency) * 16u;
        Answer a(16, uint8_t(0x00));
        a[0] = 0x11;
        for (int i = 1; i <= 4; ++i) a[size_t(i)] = uint8_t(count >> (32 - 8 * i));
        a[7] = 0x02;
        for (int i = 9; i < 16; ++i) a[size_t(i)] = uint8_t(0xC0 + i);
        return a;
    }

private:
    void handle(const QByteArray& f, LineTime at) {
        const uint8_t p4 = uint8_t(f.at(3)), opcode = uint8_t(f.at(4));
        if (opcode == 0x0E) {
            pacingMs = p4;
            return;
        }
        Answer answer;
        if (opcode == 0xF7) {
            const uint8_t m = meter(answered);
            answer = {m, m, m, m, uint8_t(0xF7)};
        } else if (opcode == 0x10 && (p4 == 0x02 || p4 == 0x03)) {
            answer = statusRecord(frequency);
            const Answer b = statusRecord(frequency + 100);
            if (p4 == 0x03) answer.insert(answer.end(), b.begin(), b.end());
        } else if (opcode == 0x10 && p4 == 0x01) {
            answer = {uint8_t(0x05)};
        } else if (opcode == 0xFA) {
            answer = {uint8_t(0x00), uint8_t(0x00), uint8_t(0x00), uint8_t(0x03), uint8_t(0x93)};
        } else {
            return;
        }
        LineTime lat = latency;
        const int index = answered++;
        if (tamper) tamper(index, answer, lat);
        LineTime t = std::max(at, busyUntil_) + lat;
        for (size_t i = 0; i < answer.size(); ++i) {
            t += kByteTime + (i > 0 ? LineTime(pacingMs) * kMillisecond : 0);
            if (stall) t += stall(index, i);
            if (!answer[i]) continue;
            if (handOverDelay) handedUntil_ = std::max(handedUntil_, t + handOverDelay());
            noise(handOverDelay ? handedUntil_ : t, *answer[i]);
        }
        busyUntil_ = t;
    }

    LineTime inboundFree_ = 0, busyUntil_ = 0, handedUntil_ = 0;
    QByteArray frame_;
};

}  // namespace qv7m::test
