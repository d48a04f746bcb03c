// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/engine.h"

#include <algorithm>
#include <cstdio>

#include "radio/cat_codec.h"

namespace qv7m::sim {

std::string hexBytes(const uint8_t* p, size_t n) {
    if (n == 0) return "-";
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 0x0F];
    }
    return s;
}

std::string formatMs(int64_t ns) {
    char buf[40];
    const bool neg = ns < 0;
    const int64_t us = (neg ? -ns : ns) / 1000;
    std::snprintf(buf, sizeof buf, "%s%lld.%03lld", neg ? "-" : "", static_cast<long long>(us / 1000),
                  static_cast<long long>(us % 1000));
    return buf;
}

Engine::Engine(EngineConfig cfg, Meter meter, ByteOut out, LogOut log)
    : cfg_(std::move(cfg)),
      meter_(std::move(meter)),
      out_(std::move(out)),
      log_(std::move(log)),
      rng_(cfg_.seed * 0x9E3779B97F4A7C15ull + 0x51u),
      jitterRng_(cfg_.seed * 0xC2B2AE3D27D4EB4Full + 0x7Au),
      vfoa_(cfg_.vfoaHz),
      vfob_(cfg_.vfobHz) {
    for (const Retune& r : cfg_.retunes)
        if (!r.byFrames) timed_.push_back(r);
    std::stable_sort(timed_.begin(), timed_.end(), [](const Retune& a, const Retune& b) { return a.atNs < b.atNs; });
}

void Engine::logLine(int64_t at, const std::string& rest) {
    if (log_) log_("t=" + formatMs(at) + " " + rest);
}

void Engine::event(int64_t nowNs, const std::string& text) { logLine(nowNs, "event=" + text); }

Engine::Due Engine::nextDue(int64_t& at) const {
    Due which = kNone;
    at = kNever;
    auto consider = [&](Due d, int64_t t) {
        if (t < at) {
            at = t;
            which = d;
        }
    };
    if (hungUp_) return kNone;
    if (!handover_.empty()) consider(kHandover, handover_.front().at);
    // Wake once a frame, when its fifth byte is in, not for every byte.
    const size_t need = cat::kFrameBytes - frame_.size();
    if (input_.size() >= need)
        consider(kInput, input_[need - 1].at);
    else if (!input_.empty())
        consider(kPartial, input_.back().at + cfg_.resyncNs);
    else if (!frame_.empty())
        consider(kPartial, lastArrival_ + cfg_.resyncNs);
    if (nextTimed_ < timed_.size()) consider(kRetune, timed_[nextTimed_].atNs);
    if (!answers_.empty()) {
        const Answer& a = answers_.front();
        consider(kAnswer, a.started ? a.nextAt : std::max(a.readyAt, lineFreeAt_));
    }
    return which;
}

int64_t Engine::nextDeadline() const {
    int64_t at;
    nextDue(at);
    return at;
}

void Engine::receive(const uint8_t* data, size_t n, int64_t nowNs) {
    advance(nowNs);
    if (hungUp_) return;
    for (size_t i = 0; i < n; ++i) {
        const int64_t prev = input_.empty() ? lastArrival_ : input_.back().at;
        input_.push_back({data[i], std::max(nowNs, prev) + cat::kByteNs});
    }
}

namespace {
// How late an answer byte may go out before the rest of its answer is moved.
constexpr int64_t kLateNs = 500000;
}  // namespace

int64_t Engine::handoverAt(int64_t sentNs) const {
    if (cfg_.batchNs <= 0) return sentNs;
    return (sentNs + cfg_.batchNs - 1) / cfg_.batchNs * cfg_.batchNs;
}

void Engine::advance(int64_t nowNs) {
    for (;;) {
        int64_t at;
        const Due due = nextDue(at);
        if (due == kNone || at > nowNs) return;
        switch (due) {
        case kHandover: {
            const Handover h = handover_.front();
            handover_.pop_front();
            if (out_) out_(h.byte, h.at, h.last);
            break;
        }
        case kInput:
            while (frame_.size() < size_t{cat::kFrameBytes}) {
                frame_.push_back(input_.front().byte);
                input_.pop_front();
            }
            lastArrival_ = at;
            handleFrame(at);
            break;
        case kPartial:
            // Gaps inside the queue are all shorter than the pause: a longer one
            // would have been handled when the later bytes were read.
            for (const Pending& p : input_) frame_.push_back(p.byte);
            if (!input_.empty()) lastArrival_ = input_.back().at;
            input_.clear();
            event(at, "partial bytes=" + hexBytes(frame_.data(), frame_.size()));
            frame_.clear();
            break;
        case kRetune: retune(at, timed_[nextTimed_++].hz); break;
        case kAnswer: {
            Answer& a = answers_.front();
            if (!a.started) {
                // Pacing is taken as it stands when the answer begins.
                a.started = true;
                a.pacingNs = static_cast<int64_t>(pacingMs_) * 1000000;
                a.nextAt = at + (cfg_.paceBeforeFirstByte ? a.pacingNs : 0) + cat::kByteNs;
                break;
            }
            const bool last = a.next + 1 == a.bytes.size();
            const uint8_t b = a.bytes[a.next++];
            int64_t t = a.nextAt;
            if (cfg_.realClock && nowNs - t > kLateNs) t = nowNs;
            if (last) {
                lineFreeAt_ = t;
                answers_.pop_front();
            } else {
                a.nextAt = t + a.pacingNs + cat::kByteNs;
            }
            handover_.push_back({b, handoverAt(t), last});
            break;
        }
        case kNone: return;
        }
    }
}

void Engine::retune(int64_t at, int64_t hz) {
    vfoa_ = hz;
    event(at, "retune vfoa=" + std::to_string(hz));
}

int Engine::meterFor(uint8_t p1) const {
    if (p1 >= 0x80) return 0;
    if (p1 != 0x01 || cfg_.fading <= 0) return meter_.reading(p1 == 0x01 ? vfob_ : vfoa_);
    // The fading draw depends on the frequency and on how often VFO-B was
    // tuned, so the log's reading for each tuning is the one the meter gives.
    const uint64_t h = splitmix64(cfg_.seed ^ splitmix64(uint64_t(vfob_) * 1000003u + vfobTunes_));
    const int span = 2 * cfg_.fading + 1;
    return std::clamp(meter_.reading(vfob_) + int(h % uint64_t(span)) - cfg_.fading, 0, 255);
}

void Engine::setVfo(const uint8_t* f, int64_t& vfo, std::string& note) {
    const auto units = cat::unitsFromBcd(cat::Bcd{f[0], f[1], f[2], f[3]});
    if (!units)
        note = "badbcd";
    else if (!cat::tunableUnits(*units))
        note = "range";
    else
        vfo = *units * 10;
}

std::vector<uint8_t> Engine::answerFor(const uint8_t* f, std::string& note) {
    std::vector<uint8_t> a;
    switch (f[4]) {
    case cat::op::kSetVfoA: setVfo(f, vfoa_, note); break;
    case cat::op::kSetVfoB:
        setVfo(f, vfob_, note);
        ++vfobTunes_;
        break;
    case cat::op::kPacing: pacingMs_ = f[3]; break;
    case cat::op::kStatus: {
        const int n = cat::answerLength(f[4], f[3]);
        if (n == 0) {
            note = "unknown";
        } else if (f[3] == cat::kStatusMemoryChannel) {
            a.assign(static_cast<size_t>(n), 0x00);  // memory channel 1
        } else {
            const auto ra = cat::operatingRecord(vfoa_);  // the operator is on VFO-A
            a.assign(ra.begin(), ra.end());
            if (f[3] == cat::kStatusBothVfos) {
                const auto rb = cat::operatingRecord(vfob_);
                a.insert(a.end(), rb.begin(), rb.end());
            }
        }
        break;
    }
    case cat::op::kMeter:
        a.assign(cat::kMeterCopies, static_cast<uint8_t>(meterFor(f[0])));
        a.push_back(cat::kMeterPad);
        break;
    case cat::op::kFlags: a = {0x00, 0x00, 0x00, 0x03, 0x93}; break;
    case cat::op::kScanStart:
    case cat::op::kScanEnd: break;  // acted on inside the radio; nothing comes back
    default: note = "unknown"; break;
    }
    return a;
}

void Engine::applyFault(std::vector<uint8_t>& a, std::string& note) {
    if (a.empty()) return;
    switch (cfg_.fault) {
    case Fault::Silent:
        a.clear();
        note = "silent";
        break;
    case Fault::Garbage:
        for (auto& b : a) b = static_cast<uint8_t>(rng_());
        note = "garbage";
        break;
    case Fault::Drop:
        a.erase(a.begin() + static_cast<std::ptrdiff_t>(rng_() % a.size()));
        note = "drop";
        break;
    case Fault::Extra: {
        const auto pos = static_cast<std::ptrdiff_t>(rng_() % (a.size() + 1));
        a.insert(a.begin() + pos, static_cast<uint8_t>(rng_()));
        note = "extra";
        break;
    }
    case Fault::None:
    case Fault::Hangup: break;
    }
}

void Engine::handleFrame(int64_t at) {
    uint8_t f[cat::kFrameBytes];
    std::copy(frame_.begin(), frame_.end(), f);
    frame_.clear();
    ++frames_;

    std::string note;
    std::vector<uint8_t> a = answerFor(f, note);
    applyFault(a, note);
    if (!a.empty() && cfg_.tamper) cfg_.tamper(answersMade_++, a);

    std::string line = "frame=" + hexBytes(f, cat::kFrameBytes) + " vfoa=" + std::to_string(vfoa_) +
                       " vfob=" + std::to_string(vfob_) + " answer=" + hexBytes(a.data(), a.size());
    if (f[4] == cat::op::kSetVfoB) line += " meter=" + std::to_string(meterFor(0x01));
    if (!note.empty()) line += " note=" + note;
    logLine(at, line);

    if (!a.empty()) {
        Answer ans;
        ans.bytes = std::move(a);
        ans.readyAt = at + cfg_.latencyNs +
                      (cfg_.jitterNs > 0 ? static_cast<int64_t>(jitterRng_() % uint64_t(cfg_.jitterNs + 1)) : 0);
        answers_.push_back(std::move(ans));
    }

    for (const Retune& r : cfg_.retunes)
        if (r.byFrames && r.atFrames == frames_) retune(at, r.hz);

    if (cfg_.fault == Fault::Hangup && frames_ >= cfg_.hangupAfter) {
        event(at, "hangup frames=" + std::to_string(frames_));
        hungUp_ = true;
    }
}

}  // namespace qv7m::sim
