// SPDX-License-Identifier: GPL-3.0-or-later
// The radio link on the simulated radio, on a virtual clock. The input decides
// the radio's timing, the bytes the line drops, adds or garbles, the program's
// hold-ups and calls (steps, hold passes, status reads, pauses, reopening the
// port). Every call returns within seconds; a take with no request finds
// nothing; no operation takes another answer's byte; and with a clean line and
// hold-ups within the link's margin, every operation takes exactly its own.

#include "fuzz_common.h"
#include "radio/radiolink.h"
#include "tests/support/observed_link.h"
#include "tests/support/virtual_radio.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <algorithm>
#include <deque>
#include <set>

using namespace qv7m;
using test::VirtualRadio;
using Fault = VirtualRadio::LineFault;

namespace {

// The program's link, held up before its n-th call from now (drawing, say),
// and watching that no call waits without end: the slowest legitimate one (a
// status read at the radio's longest pacing) takes a few seconds.
struct Link : test::ObservedLink {
    explicit Link(const sim::EngineConfig& cfg)
        : ObservedLink(std::make_unique<VirtualRadio>(cfg)), radio(static_cast<VirtualRadio&>(line())) {}
    VirtualRadio& radio;
    int holdIn = -1;
    LineTime holdFor = 0;
    LineTime callFrom = 0;
    void call() {
        FUZZ_CHECK(radio.clock - callFrom < 20000 * kMillisecond, "a call took %lld ms",
                   (long long)((radio.clock - callFrom) / kMillisecond));
        if (holdIn >= 0 && holdIn-- == 0) radio.busy(holdFor);
        callFrom = radio.clock;
    }
    void send(const cat::Frame& f) override {
        call();
        ObservedLink::send(f);
    }
    void ask(const cat::Frame& f) override {
        call();
        ObservedLink::ask(f);
    }
    std::optional<uint8_t> take(int i) override {
        call();
        return ObservedLink::take(i);
    }
    void pause(int ms) override {
        call();
        ObservedLink::pause(ms);
    }
    void open(int16_t port) override {
        call();
        ObservedLink::open(port);
        call();
    }
    void close() override {
        call();
        ObservedLink::close();
        call();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::EngineConfig cfg;  // radios, adapters and machines as the link's margin is made for
    cfg.paceBeforeFirstByte = in.ConsumeBool();
    cfg.latencyNs = LineTime(in.ConsumeIntegralInRange(0, 50000)) * 1000;  // microseconds
    cfg.jitterNs = LineTime(in.ConsumeIntegralInRange(0, 20000)) * 1000;
    cfg.batchNs = LineTime(in.ConsumeIntegralInRange(0, 32)) * kMillisecond;
    Link comm(cfg);
    VirtualRadio& radio = comm.radio;
    // One fault at a time: the link is back in step two requests after one; faults closer can make any answer's shape.
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        const Fault f{Fault::Kind(in.ConsumeIntegralInRange(0, 2)), in.ConsumeIntegralInRange(0, 40),
                      in.ConsumeIntegralInRange(0, 15)};
        if (std::none_of(radio.faults.begin(), radio.faults.end(),
                         [&](const Fault& g) { return std::abs(g.answer - f.answer) < 3; }))
            radio.faults.push_back(f);
    }
    RadioLink link(comm);
    int slowestLeft = 0;
    auto leavePacing =
        [&](uint8_t ms) {  // another program may leave the radio's pacing anything while the port is closed
            slowestLeft = std::max(slowestLeft, int(ms));
            const cat::Frame pacing = cat::pacing(ms);
            radio.setOpen(true);
            radio.write(pacing.data(), pacing.size());
            radio.busy(cat::kFrameBytes * kByteTime);  // its close waits for the frame to leave
            radio.setOpen(false);
        };
    leavePacing(in.ConsumeIntegral<uint8_t>());

    // Each step's reading differs from the latest meter requests', so that a byte read from the wrong answer shows.
    std::deque<int> recent;
    const sim::Meter& meter = radio.engine.meter();
    int64_t vfoB = cfg.vfobHz;
    LineTime longestHold = 0;
    link.open(1);
    for (int op = 0; op < 200 && in.remaining_bytes() > 0; ++op) {
        try {  // the port is open throughout: no call has reason to throw
            switch (in.ConsumeIntegralInRange(0, 5)) {
            case 0: {  // a sweep step
                int64_t hz = (in.ConsumeBool() ? 7000000 : 14200000) + 10 * in.ConsumeIntegralInRange(0, 10000);
                for (int n = 0; n < 1000 && (meter.reading(hz) == cat::kMeterPad ||
                                             std::count(recent.begin(), recent.end(), meter.reading(hz)));
                     ++n)
                    hz += 10;
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
                else {
                    comm.holdIn = in.ConsumeIntegralInRange(0, 24);
                    comm.holdFor = t;
                }
                break;
            }
            case 5:
                link.close();
                if (in.ConsumeBool()) leavePacing(in.ConsumeIntegral<uint8_t>());
                link.open(1);
                for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n)
                    FUZZ_CHECK(!comm.AlignedLink::take(n), "a take with no request took a byte");
                break;
            }
        } catch (const std::exception& e) {
            FUZZ_CHECK(false, "%s", e.what());
        }
    }
    link.close();
    radio.engine.advance(radio.clock + 100000 * kMillisecond);  // every answer sent in full

    // Above 60 ms left by another program, a status answer outlasts the wait for a quiet line: a fault costs all asked
    // meanwhile.
    const bool exact = longestHold <= AlignedLink::Timing{}.margin && slowestLeft <= 60;
    const std::vector<test::Reads>& requests = comm.requests[""];
    FUZZ_CHECK(requests.size() <= radio.answers.size(), "%zu requests, %zu answers", requests.size(),
               radio.answers.size());
    for (size_t n = 0; n < requests.size(); ++n)
        for (size_t k = 0; k < requests[n].size(); ++k)
            FUZZ_CHECK(requests[n][k].size() <= (k < 3 ? 0 : 1), "request %zu read %zu took %d bytes", n, k + 1,
                       int(requests[n][k].size()));
    // The answers as the line delivered them (an added byte is in what the radio sent, a garbled one is added
    // here); a fault may also cost the next two requests (asked before it showed; a short status answer shows late).
    std::vector<QByteArray> delivered = radio.answers;
    std::set<size_t> hit;
    std::set<size_t> spoilt;
    for (const Fault& f : radio.faults) {
        if (size_t(f.answer) >= delivered.size() || f.byte >= radio.answers[f.answer].size()) continue;
        hit.insert(f.answer);
        spoilt.insert({size_t(f.answer), size_t(f.answer) + 1, size_t(f.answer) + 2});
        if (f.kind == Fault::Garble) delivered[f.answer] += char(radio.answers[f.answer][f.byte] ^ 0x55);
    }
    const test::InStep reads = test::compareReads(requests, delivered, false);
    FUZZ_CHECK(reads.foreign.empty(), "request %zu read a byte of another answer", reads.foreign.at(0));
    for (size_t n : reads.shifted) FUZZ_CHECK(hit.count(n), "request %zu read out of step", n);
    if (exact) {
        for (size_t n : reads.short_)
            FUZZ_CHECK(spoilt.count(n), "request %zu read nothing where its answer had a byte", n);
    }
    return 0;
}
