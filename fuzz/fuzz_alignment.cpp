// The radio link (AlignedComm under RadioLink) on the simulated radio, on a
// virtual clock. The input decides the radio's timing, the bytes the line
// drops, adds or garbles, when and for how long the program is held up, and
// the program's calls: sweep steps, hold passes, status reads, pauses, closing
// and reopening the port. Every call returns; reads 1 to 3 of a request, and
// reads with none, find nothing; no read takes a byte of another request's
// answer; and with a clean line and no hold-up beyond the link's margin,
// every read takes exactly its own answer's byte.

#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/support/observed_comm.h"
#include "tests/support/virtual_radio.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <exception>

using namespace qv7m;
using test::VirtualRadio;
using Fault = VirtualRadio::LineFault;

namespace {

// The radio, watching that no call of the program waits without end: the
// slowest legitimate call (a status read at the radio's longest pacing) takes
// a few seconds.
struct Radio : VirtualRadio {
    using VirtualRadio::VirtualRadio;
    LineTime callFrom = 0;
    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        VirtualRadio::receive(deadline, out);
        FUZZ_CHECK(clock - callFrom < 20000 * kMillisecond, "a call has waited %lld ms",
                   (long long)((clock - callFrom) / kMillisecond));
    }
};

// The program's link, held up before its n-th call from now (drawing, say).
struct Link : test::ObservedComm {
    explicit Link(std::unique_ptr<Radio> r) : ObservedComm(std::move(r)), radio(static_cast<Radio&>(line())) {}
    Radio& radio;
    int holdIn = -1;
    LineTime holdFor = 0;
    void call() {
        if (holdIn >= 0 && holdIn-- == 0) radio.busy(holdFor);
        radio.callFrom = radio.clock;
    }
    void Output(const QByteArray& b) override { call(), ObservedComm::Output(b); }
    QByteArray Input() override { return call(), ObservedComm::Input(); }
    void idleWait(int ms) override { call(), ObservedComm::idleWait(ms); }
    void setPortOpen(bool open) override { call(), ObservedComm::setPortOpen(open); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Radios, adapters and machines as the link's margin is made for.
    sim::EngineConfig cfg;
    cfg.paceBeforeFirstByte = in.ConsumeBool();
    cfg.latencyNs = LineTime(in.ConsumeIntegralInRange(0, 50000)) * 1000;  // microseconds
    cfg.jitterNs = LineTime(in.ConsumeIntegralInRange(0, 20000)) * 1000;
    cfg.batchNs = LineTime(in.ConsumeIntegralInRange(0, 32)) * kMillisecond;
    auto owned = std::make_unique<Radio>(cfg);
    Radio& radio = *owned;
    // One fault at a time: the link is back in step two requests after one,
    // and faults that meet within that can make any answer's shape.
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const Fault f{Fault::Kind(in.ConsumeIntegralInRange(0, 2)), in.ConsumeIntegralInRange(0, 40),
                      in.ConsumeIntegralInRange(0, 15)};
        if (std::none_of(radio.faults.begin(), radio.faults.end(),
                         [&](const Fault& g) { return std::abs(g.answer - f.answer) < 3; }))
            radio.faults.push_back(f);
    }
    Link comm(std::move(owned));
    RadioLink link(comm);
    // Another program may leave the radio's pacing anything while the port is closed.
    int slowestLeft = 0;
    auto leavePacing = [&](uint8_t ms) {
        slowestLeft = std::max(slowestLeft, int(ms));
        radio.setPortOpen(true);
        radio.Output(QByteArray("\0\0\0", 3) + char(ms) + '\x0E');
        radio.busy(cat::kFrameBytes * kByteTime);  // its close waits for the frame to leave
        radio.setPortOpen(false);
    };
    leavePacing(in.ConsumeIntegral<uint8_t>());

    // The readings of the latest meter requests: each step's differs from them,
    // so that a byte read from the wrong answer shows by its value.
    std::deque<int> recent;
    const sim::Meter& meter = radio.engine.meter();
    int64_t vfoB = cfg.vfobHz;
    LineTime longestHold = 0;
    link.open();
    for (int op = 0; op < 200 && in.remaining_bytes() > 0; ++op) {
        try {  // the port is open throughout: no call has reason to throw
            switch (in.ConsumeIntegralInRange(0, 5)) {
            case 0: {  // a sweep step
                int64_t hz = (in.ConsumeBool() ? 7000000 : 14200000) + 10 * in.ConsumeIntegralInRange(0, 10000);
                for (int n = 0; n < 1000; ++n, hz += 10) {
                    const int r = meter.reading(hz);
                    if (r != cat::kMeterPad && std::find(recent.begin(), recent.end(), r) == recent.end()) break;
                }
                link.tuneVfoB(int32_t(hz / 10));
                vfoB = hz;
                [[fallthrough]];
            }
            case 1:  // a hold pass
                recent.push_back(meter.reading(vfoB));
                if (recent.size() > 4) recent.pop_front();
                link.readMeter();
                break;
            case 2: link.readStatus(); break;
            case 3: link.pause(in.ConsumeIntegralInRange(0, 60)); break;
            case 4: {  // held up: before a coming call, or on waking from the next wait
                const LineTime t = LineTime(in.ConsumeIntegralInRange(0, 1500)) * kMillisecond;
                longestHold = std::max(longestHold, t);
                if (in.ConsumeBool())
                    radio.stallInNextWait = t;
                else
                    comm.holdIn = in.ConsumeIntegralInRange(0, 24), comm.holdFor = t;
                break;
            }
            case 5:
                link.close();
                if (in.ConsumeBool()) leavePacing(in.ConsumeIntegral<uint8_t>());
                link.open();
                for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n)
                    FUZZ_CHECK(comm.AlignedComm::Input().isEmpty(), "a read with no request took a byte");
                break;
            }
        } catch (const std::exception& e) {
            FUZZ_CHECK(false, "%s", e.what());
        }
    }
    link.close();
    radio.engine.advance(radio.clock + 100000 * kMillisecond);  // every answer sent in full

    // Above 60 ms left by another program, a status answer outlasts the wait
    // for a quiet line, and a fault costs every request asked meanwhile.
    const bool exact = longestHold <= AlignedComm::Timing{}.margin && slowestLeft <= 60;
    const std::vector<test::Reads>& requests = comm.requests[""];
    FUZZ_CHECK(requests.size() <= radio.answers.size(), "%zu requests, %zu answers", requests.size(), radio.answers.size());
    for (size_t n = 0; n < requests.size(); ++n) {
        const QByteArray& sent = radio.answers[n];
        // The answer as the line delivered it (an added byte is in what the radio
        // sent); a fault may also cost the next two requests their reads (asked
        // before the fault showed, and a short status answer shows late).
        QByteArray own = sent;
        bool hit = false, spoilt = false;
        for (const Fault& f : radio.faults) {
            const bool struck = size_t(f.answer) < radio.answers.size() && f.byte < radio.answers[f.answer].size();
            hit = hit || (struck && size_t(f.answer) == n);
            spoilt = spoilt || (struck && n >= size_t(f.answer) && n <= size_t(f.answer) + 2);
            if (struck && size_t(f.answer) == n && f.kind == Fault::Garble) own += char(sent[f.byte] ^ 0x55);
        }
        for (size_t k = 0; k < requests[n].size(); ++k) {
            const QByteArray got = requests[n][k], want = k < 3 ? QByteArray() : sent.mid(int(k) - 3, 1);
            FUZZ_CHECK(got.size() <= (k < 3 ? 0 : 1), "request %zu read %zu took %d bytes", n, k + 1, int(got.size()));
            FUZZ_CHECK(got.isEmpty() || (hit ? own.contains(got) : got == want), "request %zu (answer %s) read %zu took %s",
                       n, sent.toHex().constData(), k + 1, got.toHex().constData());
            FUZZ_CHECK(!exact || spoilt || got == want, "request %zu (answer %s) read %zu took %s, not %s", n,
                       sent.toHex().constData(), k + 1, got.toHex().constData(), want.toHex().constData());
        }
    }
    return 0;
}
