// The answer-alignment layer on any timed byte stream.
//
// The model radio of the tests answers on a virtual clock; the input decides
// how it spoils its answers (bytes dropped, added, lost, garbled, late or
// silent), when noise arrives and with what values, how long the program is
// busy between its calls, and which calls it makes: meter reads, status
// reads, sleeps, opening and closing the port, other frames, a vanished port.
// Whatever happens:
//  - every call returns, and a read within a bounded stretch of virtual time;
//  - reads 1 to 3 after a request find nothing, and a read with no request
//    before it finds nothing;
//  - no byte is handed to more than one read, and none to a read of a request
//    that had not fully reached the radio when the byte arrived.

#include "core/runtime_error.h"
#include "fuzz_common.h"
#include "radio/alignedcomm.h"
#include "radio/radiolink.h"
#include "tests/radio/virtual_line.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <vector>

using namespace qv7m;

namespace {

// Far more line activity than any one call can explain: the layer is going round in circles.
constexpr long kMaxReceivesPerCall = 20000;
constexpr int kMaxOps = 300;

// QV7M_FUZZ_TRACE=1 tells, when replaying one input, what happened on the line.
bool tracing() {
    static const bool on = std::getenv("QV7M_FUZZ_TRACE") != nullptr;
    return on;
}
#define TRACE(...) \
    do { \
        if (tracing()) std::fprintf(stderr, __VA_ARGS__); \
    } while (0)
double ms(LineTime t) { return double(t) / double(kMillisecond); }

// A byte as it reached the program's side: when it arrived on the line, and
// when the layer took it in.
struct Handed {
    LineTime arrived;
    LineTime takenAt;
    uint8_t value;
};

class WatchedLine : public test::VirtualLine {
public:
    explicit WatchedLine(test::FakeRadio& radio) : VirtualLine(radio), radio_(radio) {}

    std::vector<Handed> handed;
    long receives = 0;  // since the current call began

    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        FUZZ_CHECK(++receives < kMaxReceivesPerCall,
                   "hang: %ld line waits in one call without it returning (clock %.3f ms, deadline %.3f ms)",
                   receives, double(clock) / kMillisecond, double(deadline) / kMillisecond);
        waiting_.assign(radio_.outgoing.begin(), radio_.outgoing.end());
        const size_t had = out.size();
        VirtualLine::receive(deadline, out);
        FUZZ_CHECK(out.size() - had <= waiting_.size(), "the line handed over bytes it never had");
        for (size_t i = had; i < out.size(); ++i) {
            const auto& w = waiting_[i - had];
            FUZZ_CHECK(w.value == out[i].value && w.at <= out[i].at, "the line handed over a byte out of order");
            handed.push_back({w.at, out[i].at, w.value});
            TRACE("  %9.3f  byte %02X arrived %9.3f\n", ms(out[i].at), unsigned(w.value), ms(w.at));
        }
    }

private:
    test::FakeRadio& radio_;
    std::vector<test::FakeRadio::Scheduled> waiting_;
};

// The answer lengths of the request frames, as the radio's manual gives them.
int answerBytes(uint8_t opcode, uint8_t p4) {
    if (opcode == 0xF7 || opcode == 0xFA) return 5;
    if (opcode == 0x10) return p4 == 0x01 ? 1 : p4 == 0x02 ? 16 : p4 == 0x03 ? 32 : 0;
    return 0;
}

// Sits between the program and the layer and watches every call.
class Watcher : public MSComm {
public:
    Watcher(AlignedComm& inner, WatchedLine& line) : inner_(inner), line_(line) {}

    struct Returned {
        uint8_t value;
        LineTime requestIn;  // when the request had fully reached the radio
        LineTime at;         // when the read returned it
    };
    std::vector<Returned> returned;

    void setCommPort(int16_t p) override { inner_.setCommPort(p); }
    int16_t commPort() const override { return inner_.commPort(); }
    void setSettings(const QString& s) override { inner_.setSettings(s); }
    QString settings() const override { return inner_.settings(); }
    void setRThreshold(int16_t n) override { inner_.setRThreshold(n); }
    void setSThreshold(int16_t n) override { inner_.setSThreshold(n); }
    void setInputLen(int16_t n) override { inner_.setInputLen(n); }
    bool portOpen() const override { return inner_.portOpen(); }
    int16_t commEvent() const override { return inner_.commEvent(); }

    void setPortOpen(bool open) override {
        line_.receives = 0;
        inner_.setPortOpen(open);
    }

    void Output(const QByteArray& bytes) override {
        line_.receives = 0;
        const LineTime t = line_.now();
        inner_.Output(bytes);
        FUZZ_CHECK(line_.now() == t, "a write waited %.3f ms", double(line_.now() - t) / kMillisecond);
        // Sent: each byte crosses the wire after the ones before it.
        for (char c : bytes) {
            txFree_ = std::max(t, txFree_) + kByteTime;
            frame_.append(c);
            if (frame_.size() < 5) continue;
            const uint8_t p4 = uint8_t(frame_.at(3));
            const uint8_t opcode = uint8_t(frame_.at(4));
            TRACE("  %9.3f  frame %s in at %9.3f\n", ms(t), frame_.toHex(' ').constData(), ms(txFree_));
            frame_.clear();
            if (opcode == 0x0E) maxPacingMs_ = std::max(maxPacingMs_, int(p4));
            if (answerBytes(opcode, p4) > 0) {
                hasRequest_ = true;
                requestIn_ = txFree_;
                reads_ = 0;
            }
        }
    }

    QByteArray Input() override {
        line_.receives = 0;
        const LineTime t0 = line_.now();
        const QByteArray r = inner_.Input();
        const LineTime t1 = line_.now();
        // The longest the layer may wait: until the program's own writes up to
        // the request have crossed the wire, then for the previous answer's
        // tail (32 bytes at most, and one added) and this answer up to its
        // last byte, at the slowest pacing the program has set.
        const LineTime backlog = hasRequest_ ? std::max<LineTime>(0, requestIn_ - t0) : 0;
        const LineTime bound =
            backlog + (33 + 32) * (kByteTime + LineTime(maxPacingMs_) * kMillisecond) + 200 * kMillisecond;
        FUZZ_CHECK(t1 - t0 <= bound, "a read took %.3f ms of line time", double(t1 - t0) / kMillisecond);
        FUZZ_CHECK(r.size() <= 1, "a read returned %d bytes", int(r.size()));
        ++reads_;
        if (!hasRequest_) {
            FUZZ_CHECK(r.isEmpty(), "a read with no request before it returned a byte");
            return r;
        }
        if (reads_ <= 3) FUZZ_CHECK(r.isEmpty(), "read %d of a request returned a byte", reads_);
        TRACE("  %9.3f  read %d -> %s\n", ms(t1), reads_, r.isEmpty() ? "nothing" : qPrintable(r.toHex()));
        if (!r.isEmpty()) returned.push_back({uint8_t(r.at(0)), requestIn_, t1});
        return r;
    }

    void idleWait(int ms) override {
        line_.receives = 0;
        const LineTime t = line_.now();
        inner_.idleWait(ms);
        FUZZ_CHECK(line_.now() - t == LineTime(ms) * kMillisecond, "a sleep of %d ms took %.3f ms", ms,
                   double(line_.now() - t) / kMillisecond);
    }

private:
    AlignedComm& inner_;
    WatchedLine& line_;
    LineTime txFree_ = 0;
    QByteArray frame_;
    bool hasRequest_ = false;
    LineTime requestIn_ = 0;
    int reads_ = 0;
    int maxPacingMs_ = 15;  // the layer's assumption until the program sets one
};

// Every byte a read returned must be a byte that arrived after its request was
// in and before the read returned, each byte serving one read at most. Bytes
// are told apart only by value, so this asks whether such a pairing exists:
// per value, reads ordered by the latest byte they could have had, each given
// the earliest byte still free that it could have had.
void checkPairing(const std::vector<Handed>& handed, const std::vector<Watcher::Returned>& returned) {
    std::map<uint8_t, std::vector<size_t>> byValue;  // indices into handed, in order of arrival
    for (size_t i = 0; i < handed.size(); ++i) byValue[handed[i].value].push_back(i);
    std::map<uint8_t, std::vector<const Watcher::Returned*>> reads;
    for (const auto& r : returned) reads[r.value].push_back(&r);

    for (auto& [value, rs] : reads) {
        const std::vector<size_t>& bytes = byValue[value];
        std::sort(rs.begin(), rs.end(), [](auto* a, auto* b) { return a->at < b->at; });
        std::set<size_t> free;
        for (size_t k = 0; k < bytes.size(); ++k) free.insert(k);
        for (const auto* r : rs) {
            // The first byte of this value that arrived once the request was in.
            size_t lo = 0;
            while (lo < bytes.size() && handed[bytes[lo]].arrived < r->requestIn) ++lo;
            auto it = free.lower_bound(lo);
            FUZZ_CHECK(it != free.end() && handed[bytes[*it]].takenAt <= r->at,
                       "a read at %.3f ms returned 0x%02X, which no byte arriving after its request "
                       "(in at %.3f ms) and not returned before explains",
                       double(r->at) / kMillisecond, unsigned(value), double(r->requestIn) / kMillisecond);
            free.erase(it);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Distinct values make every byte traceable; the input's own values reach
    // whatever the layer might do with particular bytes.
    const bool distinct = in.ConsumeBool();
    uint8_t counter = 0;
    auto nextValue = [&](uint8_t given) { return distinct ? counter++ : given; };

    test::FakeRadio radio;
    radio.tamper = [&](int, test::FakeRadio::Answer& a, LineTime& latency) {
        const int how = in.ConsumeIntegralInRange(0, 9);
        TRACE("  answer of %zu bytes, tampered %d\n", a.size(), how);
        switch (how) {
        case 0: if (!a.empty()) a.erase(a.begin() + long(in.ConsumeIntegralInRange<size_t>(0, a.size() - 1))); break;
        case 1: a.insert(a.begin() + long(in.ConsumeIntegralInRange<size_t>(0, a.size())), in.ConsumeIntegral<uint8_t>()); break;
        case 2: if (!a.empty()) a[in.ConsumeIntegralInRange<size_t>(0, a.size() - 1)].reset(); break;
        case 3: for (auto& b : a) b = in.ConsumeIntegral<uint8_t>(); break;
        case 4: a.clear(); break;
        case 5: latency = LineTime(in.ConsumeIntegralInRange(0, 120000)) * 1000; break;  // in microseconds
        case 6: a.resize(in.ConsumeIntegralInRange<size_t>(0, a.size())); break;
        default: break;  // as the radio answers
        }
        for (auto& b : a)
            if (b) b = nextValue(*b);
        for (auto& b : a) TRACE("    %s\n", b ? qPrintable(QString::number(*b, 16)) : "lost");
        TRACE("    latency %.3f ms, pacing %d ms\n", ms(latency), radio.pacingMs);
    };

    auto owned = std::make_unique<WatchedLine>(radio);
    WatchedLine& line = *owned;
    AlignedComm layer(std::move(owned));
    Watcher watcher(layer, line);
    RadioLink link(watcher);

    auto guarded = [](auto&& call) {
        try {
            call();
        } catch (const RuntimeError& e) {
            // A closed or vanished port: the caller is told; that is all.
            FUZZ_CHECK(e.kind() == RuntimeError::Kind::Serial, "unexpected error: %s", qPrintable(e.message()));
        }
    };

    guarded([&] { link.Befehl(int16_t(11)); });
    for (int op = 0; op < kMaxOps && in.remaining_bytes() > 0; ++op) {
        const int what = in.ConsumeIntegralInRange(0, 13);
        TRACE("%9.3f op %d\n", ms(line.clock), what);
        switch (what) {
        case 0:
            guarded([&] { link.lesemeter(); });
            break;
        case 1:  // a sweep step
            guarded([&] {
                link.Sleep(10);
                link.konvertiere(in.ConsumeIntegralInRange<int32_t>(100000, 3000000));
                link.Befehl(int16_t(1));
                link.lesemeter();
            });
            break;
        case 2:
            guarded([&] { link.ReadStatus(); });
            break;
        case 3:
            guarded([&] { link.Sleep(in.ConsumeIntegralInRange(0, 60)); });
            break;
        case 4:  // drawing, or the window busy elsewhere
            line.busy(LineTime(in.ConsumeIntegralInRange(0, 400000)) * 1000);
            break;
        case 5:
            guarded([&] { link.Befehl(int16_t(10)); });
            break;
        case 6:
            guarded([&] { link.Befehl(int16_t(11)); });
            break;
        case 7:
            guarded([&] { link.Befehl(int16_t(in.ConsumeBool() ? 3 : 4)); });
            break;
        case 8: {  // noise on the line
            const int n = in.ConsumeIntegralInRange(1, 8);
            for (int i = 0; i < n; ++i) {
                const LineTime at = line.clock + LineTime(in.ConsumeIntegralInRange(0, 300000)) * 1000;
                const uint8_t v = nextValue(in.ConsumeIntegral<uint8_t>());
                TRACE("  noise %02X at %9.3f\n", unsigned(v), ms(at));
                radio.noise(at, v);
            }
            break;
        }
        case 9:  // the radio set up by someone else
            if (in.ConsumeBool())
                radio.pacingMs = in.ConsumeIntegralInRange(0, 255);
            else
                radio.latency = LineTime(in.ConsumeIntegralInRange(0, 60000)) * 1000;
            break;
        case 10: {  // another request frame, then reads with or without follow-ups
            static const uint8_t kinds[][2] = {{0xF7, 0x00}, {0xFA, 0x00}, {0x10, 0x01}, {0x10, 0x02}, {0x10, 0x03}};
            const auto& k = kinds[in.ConsumeIntegralInRange(0, 4)];
            const char frame[5] = {0x01, 0x00, 0x00, char(k[1]), char(k[0])};
            const int reads = in.ConsumeIntegralInRange(0, 40);
            const int followUps = in.ConsumeIntegralInRange(0, 2);  // none, the program's, or another pacing
            const uint8_t pacing = followUps == 2 ? in.ConsumeIntegral<uint8_t>() : 15;
            guarded([&] {
                watcher.Output(QByteArray(frame, 5));
                for (int r = 0; r < reads; ++r) {
                    watcher.Input();
                    if (followUps > 0) watcher.Output(QByteArray("\0\0\0", 3) + char(pacing) + char(0x0E));
                }
            });
            break;
        }
        case 11:
            line.gone = in.ConsumeBool();
            break;
        case 12:  // a pacing command alone
            guarded([&] { watcher.Output(QByteArray("\0\0\0", 3) + char(in.ConsumeIntegral<uint8_t>()) + char(0x0E)); });
            break;
        case 13:  // a frame the radio does not answer
            guarded([&] {
                const uint8_t op = in.PickValueInArray<uint8_t>({0x0A, 0x8A, 0x83, 0x85, 0x0E, 0x00});
                watcher.Output(QByteArray("\x01\x02\x03", 3) + char(in.ConsumeIntegral<uint8_t>()) + char(op));
            });
            break;
        }
    }
    checkPairing(line.handed, watcher.returned);
    return 0;
}
