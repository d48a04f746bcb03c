// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/signal_tracker.h"

#include <algorithm>
#include <tuple>

namespace qv7m {

namespace {

constexpr quint16 kRecentMask = (1u << SignalTracker::kRecentSweeps) - 1;

qint64 distance(qint64 a, qint64 b) { return a > b ? a - b : b - a; }

}  // namespace

int TrackedSignal::heardOfRecent() const {
    int count = 0;
    for (quint16 bits = recent & kRecentMask; bits; bits &= bits - 1) ++count;
    return count;
}

void SignalTracker::addSweep(const QDateTime& utc, qint64 stepHz, const std::vector<Peak>& peaks) {
    const qint64 reach = stepHz < 0 ? -stepHz : stepHz;
    for (TrackedSignal& s : signals_) {
        s.recent = quint16((s.recent << 1) & kRecentMask);
        s.now.reset();
    }
    // Every peak and known signal within a step of each other, the closest
    // pairs matched first, each peak and each signal at most once.
    std::vector<std::tuple<qint64, size_t, size_t>> pairs;
    for (size_t p = 0; p < peaks.size(); ++p) {
        for (size_t s = 0; s < signals_.size(); ++s) {
            const qint64 d = distance(peaks[p].hz, signals_[s].hz);
            if (d <= reach) pairs.emplace_back(d, p, s);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    std::vector<bool> peakTaken(peaks.size());
    std::vector<bool> signalTaken(signals_.size());
    const auto hear = [&](TrackedSignal& s, const Peak& p) {
        s.hz = p.hz;
        s.now = p.reading;
        s.strongest = std::max(s.strongest, p.reading);
        s.lastHeard = utc;
        s.recent |= 1;
    };
    for (const auto& [d, p, s] : pairs) {
        if (peakTaken[p] || signalTaken[s]) continue;
        peakTaken[p] = true;
        signalTaken[s] = true;
        hear(signals_[s], peaks[p]);
    }
    for (size_t p = 0; p < peaks.size(); ++p) {
        if (peakTaken[p]) continue;
        TrackedSignal s;
        s.id = nextId_++;
        s.strongest = peaks[p].reading;
        s.firstHeard = utc;
        hear(s, peaks[p]);
        signals_.push_back(s);
    }

    // A signal that drifted to within a step of one not heard this time is
    // that one too: the two become one, under the older of their ids.
    for (TrackedSignal& heard : signals_) {
        for (TrackedSignal& old : signals_) {
            if (!heard.now || heard.id == 0 || old.now || old.id == 0) continue;
            if (distance(old.hz, heard.hz) > reach) continue;
            TrackedSignal& keep = old.id < heard.id ? old : heard;
            TrackedSignal& drop = old.id < heard.id ? heard : old;
            keep.hz = heard.hz;
            keep.now = heard.now;
            keep.lastHeard = heard.lastHeard;
            keep.strongest = std::max(keep.strongest, drop.strongest);
            keep.firstHeard = std::min(keep.firstHeard, drop.firstHeard);
            keep.recent |= drop.recent;
            drop.id = 0;
        }
    }
    const auto gone = [&](const TrackedSignal& s) { return s.id == 0 || s.lastHeard.secsTo(utc) >= kForgetAfterSecs; };
    signals_.erase(std::remove_if(signals_.begin(), signals_.end(), gone), signals_.end());

    if (signals_.size() > kMaxSignals) {
        std::vector<TrackedSignal> keep = signals_;
        std::stable_sort(keep.begin(), keep.end(),
                         [](const TrackedSignal& x, const TrackedSignal& y) { return x.lastHeard > y.lastHeard; });
        keep.resize(kMaxSignals);
        std::sort(keep.begin(), keep.end(), [](const TrackedSignal& x, const TrackedSignal& y) { return x.id < y.id; });
        signals_ = std::move(keep);
    }
}

}  // namespace qv7m
