// The alignment layer on any timed byte stream: the input decides how the model
// radio spoils its answers, when noise comes, how long the program is busy and
// which calls it makes. Every call returns, a read within the time the line
// explains; reads 1 to 3 of a request, and reads of none, find nothing; no byte
// goes to two reads, nor to one of a request not yet in when the byte came.

#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/alignedcomm.h"
#include "radio/radiolink.h"
#include "tests/radio/virtual_line.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <algorithm>
#include <map>

using namespace qv7m;

namespace {

class WatchedLine : public test::VirtualLine {
public:
    explicit WatchedLine(test::FakeRadio& r) : VirtualLine(r), radio(r) {}
    test::FakeRadio& radio;
    std::map<uint8_t, std::vector<LineTime>> unclaimed;  // by value: arrival times of the bytes handed over
    long receives = 0;                                  // since the current call began

    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        FUZZ_CHECK(++receives < 20000, "hang: %ld line waits in one call at %.3f ms", receives, double(clock) / kMillisecond);
        const std::vector<test::FakeRadio::Scheduled> waiting = radio.outgoing;
        const size_t had = out.size();
        VirtualLine::receive(deadline, out);
        for (size_t i = had; i < out.size(); ++i) unclaimed[out[i].value].push_back(waiting[i - had].at);
    }
};

// The layer, watched at every call the program makes.
class Watcher : public AlignedComm {
public:
    explicit Watcher(std::unique_ptr<WatchedLine> l) : AlignedComm(std::move(l)), line_(static_cast<WatchedLine&>(line())) {}
    void idleWait(int ms) override {
        const LineTime t = callBegins();
        AlignedComm::idleWait(ms);
        FUZZ_CHECK(line_.clock - t == ms * kMillisecond, "a sleep of %d ms took longer", ms);
    }
    void Output(const QByteArray& frame) override {  // always one whole frame
        const LineTime t = callBegins();
        AlignedComm::Output(frame);
        FUZZ_CHECK(line_.clock == t, "a write waited %.3f ms", double(line_.clock - t) / kMillisecond);
        txFree_ = std::max(t, txFree_) + frame.size() * kByteTime;  // when it has crossed the wire
        const uint8_t p4 = uint8_t(frame[3]), opcode = uint8_t(frame[4]);
        if (opcode == 0x0E) maxPacingMs_ = std::max(maxPacingMs_, int(p4));
        if (opcode == 0xF7 || opcode == 0xFA || (opcode == 0x10 && p4 >= 1 && p4 <= 3)) {  // the radio answers
            requestIn_ = txFree_;
            reads_ = 0;
        }
    }
    QByteArray Input() override {
        const LineTime t0 = callBegins();
        const QByteArray r = AlignedComm::Input();
        // The longest a read may wait: until its request has crossed the wire, then for the previous
        // answer's tail (32 bytes, one added) and this answer's last byte, at the slowest pacing set.
        const LineTime bound = std::max<LineTime>(0, requestIn_ - t0) +
                               65 * (kByteTime + maxPacingMs_ * kMillisecond) + 200 * kMillisecond;
        FUZZ_CHECK(line_.clock - t0 <= bound, "a read took %.3f ms", double(line_.clock - t0) / kMillisecond);
        FUZZ_CHECK(r.size() <= (requestIn_ >= 0 && ++reads_ > 3 ? 1 : 0), "read %d got %d bytes", reads_, int(r.size()));
        if (!r.isEmpty()) {
            // Reads come in order: the earliest byte of the value that arrived once the request was in.
            std::vector<LineTime>& q = line_.unclaimed[uint8_t(r[0])];
            q.erase(q.begin(), std::lower_bound(q.begin(), q.end(), requestIn_));
            FUZZ_CHECK(!q.empty(), "a read returned 0x%02X, which no byte yet unread came for", unsigned(uint8_t(r[0])));
            q.erase(q.begin());
        }
        return r;
    }

private:
    LineTime callBegins() {
        line_.receives = 0;
        return line_.clock;
    }
    WatchedLine& line_;
    LineTime txFree_ = 0, requestIn_ = -1;  // when the latest request had fully reached the radio; -1 none
    int reads_ = 0, maxPacingMs_ = 15;      // 15: the layer's assumption until the program sets one
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Distinct values tell every byte apart; the input's own reach whatever values the layer treats apart.
    const bool distinct = in.ConsumeBool();
    uint8_t counter = 0;
    auto nextValue = [&](uint8_t given) { return distinct ? counter++ : given; };
    test::FakeRadio radio;
    radio.tamper = [&](int, test::FakeRadio::Answer& a, LineTime& latency) {
        switch (in.ConsumeIntegralInRange(0, 9)) {  // 7 to 9: as the radio answers
        case 0: if (!a.empty()) a.erase(a.begin() + long(in.ConsumeIntegralInRange<size_t>(0, a.size() - 1))); break;
        case 1: a.insert(a.begin() + long(in.ConsumeIntegralInRange<size_t>(0, a.size())), in.ConsumeIntegral<uint8_t>()); break;
        case 2: if (!a.empty()) a[in.ConsumeIntegralInRange<size_t>(0, a.size() - 1)].reset(); break;
        case 3: for (auto& b : a) b = in.ConsumeIntegral<uint8_t>(); break;
        case 4: a.clear(); break;
        case 5: latency = LineTime(in.ConsumeIntegralInRange(0, 120000)) * 1000; break;  // in microseconds
        case 6: a.resize(in.ConsumeIntegralInRange<size_t>(0, a.size())); break;
        }
        for (auto& b : a) b = b ? std::optional<uint8_t>(nextValue(*b)) : b;
    };

    Watcher layer(std::make_unique<WatchedLine>(radio));
    auto& line = static_cast<WatchedLine&>(layer.line());
    RadioLink link(layer);
    for (int op = 0; op <= 300 && in.remaining_bytes() > 0; ++op) {
        try {
            switch (op == 0 ? 6 : in.ConsumeIntegralInRange(0, 13)) {  // the port opened first
            case 0: link.lesemeter(); break;
            case 1:  // a sweep step
                link.Sleep(10);
                link.konvertiere(in.ConsumeIntegralInRange<int32_t>(100000, 3000000));
                link.Befehl(int16_t(1));
                link.lesemeter();
                break;
            case 2: link.ReadStatus(); break;
            case 3: link.Sleep(in.ConsumeIntegralInRange(0, 60)); break;
            case 4: line.busy(LineTime(in.ConsumeIntegralInRange(0, 400000)) * 1000); break;  // drawing, say
            case 5: link.Befehl(int16_t(10)); break;
            case 6: link.Befehl(int16_t(11)); break;
            case 7: link.Befehl(int16_t(in.ConsumeBool() ? 3 : 4)); break;
            case 8:  // noise on the line
                for (int i = in.ConsumeIntegralInRange(1, 8); i > 0; --i) {
                    const LineTime at = line.clock + LineTime(in.ConsumeIntegralInRange(0, 300000)) * 1000;
                    radio.noise(at, nextValue(in.ConsumeIntegral<uint8_t>()));
                }
                break;
            case 9:  // the radio set up by someone else
                if (in.ConsumeBool())
                    radio.pacingMs = in.ConsumeIntegralInRange(0, 255);
                else
                    radio.latency = LineTime(in.ConsumeIntegralInRange(0, 60000)) * 1000;
                break;
            case 10: {  // another request, then reads with no follow-ups, the program's, or another pacing
                static const char kinds[][2] = {{0, '\xF7'}, {0, '\xFA'}, {1, 0x10}, {2, 0x10}, {3, 0x10}};
                const char* k = kinds[in.ConsumeIntegralInRange(0, 4)];
                const int reads = in.ConsumeIntegralInRange(0, 40), followUps = in.ConsumeIntegralInRange(0, 2);
                const char pacing = followUps == 2 ? char(in.ConsumeIntegral<uint8_t>()) : char(15);
                layer.Output(QByteArray("\x01\0\0", 3) + k[0] + k[1]);
                for (int r = 0; r < reads; ++r) {
                    layer.Input();
                    if (followUps > 0) layer.Output(QByteArray("\0\0\0", 3) + pacing + '\x0E');
                }
                break;
            }
            case 11: line.gone = in.ConsumeBool(); break;
            case 12: layer.Output(QByteArray("\0\0\0", 3) + char(in.ConsumeIntegral<uint8_t>()) + '\x0E'); break;
            case 13: {  // a frame the radio does not answer
                const char opcode = char(in.PickValueInArray<uint8_t>({0x0A, 0x8A, 0x83, 0x85, 0x0E, 0x00}));
                layer.Output(QByteArray("\x01\x02\x03", 3) + char(in.ConsumeIntegral<uint8_t>()) + opcode);
                break;
            }
            }
        } catch (const RuntimeError& e) {  // a closed or vanished port: the caller is told; that is all
            FUZZ_CHECK(e.kind() == RuntimeError::Kind::Serial, "unexpected error: %s", qPrintable(e.message()));
        }
    }
    return 0;
}
