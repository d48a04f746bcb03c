#pragma once
// A model of the radio on its CAT port, on any clock: takes the bytes the
// program writes as they cross the wire at 4800 baud, and schedules the
// answers the way the radio sends them (latency, one byte time each, the
// pacing between bytes, one answer after another). Faults are injected per
// answer.

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

    struct Scheduled {
        LineTime at;
        uint8_t value;
    };
    std::vector<Scheduled> outgoing;  // sorted by time
    std::vector<QByteArray> frames;   // every frame received, in order
    int answered = 0;

    void receive(uint8_t byte, LineTime writtenAt) {
        const LineTime arrived = std::max(writtenAt, inboundFree_) + kByteTime;
        inboundFree_ = arrived;
        frame_.append(char(byte));
        if (frame_.size() == 5) {
            frames.push_back(frame_);
            handle(frame_, arrived);
            frame_.clear();
        }
    }

    void noise(LineTime at, uint8_t value) { schedule(at, value); }

    // The 16-byte record of the current operating data.
    static Answer statusRecord(int32_t frequency) {
        const uint32_t count = uint32_t(frequency) * 16u;  // 0.625 Hz units
        Answer a(16, uint8_t(0x00));
        a[0] = 0x11;
        a[1] = uint8_t(count >> 24);
        a[2] = uint8_t(count >> 16);
        a[3] = uint8_t(count >> 8);
        a[4] = uint8_t(count);
        a[7] = 0x02;
        for (int i = 9; i < 16; ++i) a[i] = uint8_t(0xC0 + i);
        return a;
    }

    // When the line would fall silent: the last byte scheduled.
    LineTime lastScheduled() const { return outgoing.empty() ? 0 : outgoing.back().at; }

private:
    void schedule(LineTime at, uint8_t value) {
        auto pos = std::upper_bound(outgoing.begin(), outgoing.end(), at,
                                    [](LineTime t, const Scheduled& s) { return t < s.at; });
        outgoing.insert(pos, Scheduled{at, value});
    }

    void handle(const QByteArray& f, LineTime at) {
        const uint8_t p4 = uint8_t(f.at(3));
        const uint8_t opcode = uint8_t(f.at(4));
        Answer answer;
        if (opcode == 0x0E) {
            pacingMs = p4;
            return;
        }
        if (opcode == 0xF7) {
            const uint8_t m = meter(answered);
            answer = {m, m, m, m, uint8_t(0xF7)};
        } else if (opcode == 0x10 && p4 == 0x02) {
            answer = statusRecord(frequency);
        } else if (opcode == 0x10 && p4 == 0x01) {
            answer = {uint8_t(0x05)};
        } else if (opcode == 0x10 && p4 == 0x03) {
            answer = statusRecord(frequency);
            const Answer b = statusRecord(frequency + 100);
            answer.insert(answer.end(), b.begin(), b.end());
        } else if (opcode == 0xFA) {
            answer = {uint8_t(0x00), uint8_t(0x00), uint8_t(0x00), uint8_t(0x03), uint8_t(0x93)};
        } else {
            return;
        }
        LineTime lat = latency;
        if (tamper) tamper(answered, answer, lat);
        ++answered;
        LineTime t = std::max(at, busyUntil_) + lat;
        for (size_t i = 0; i < answer.size(); ++i) {
            if (i > 0) t += LineTime(pacingMs) * kMillisecond;
            t += kByteTime;
            if (answer[i]) schedule(t, *answer[i]);
        }
        busyUntil_ = t;
    }

    LineTime inboundFree_ = 0;
    LineTime busyUntil_ = 0;
    QByteArray frame_;
};

}  // namespace qv7m::test
