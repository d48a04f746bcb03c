// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The signals heard sweep after sweep: each sweep's peaks matched to the
// signals already known, so that a signal keeps its history while it drifts
// or fades in and out.

#include "display/peaks.h"

#include <QDateTime>
#include <optional>
#include <vector>

namespace qv7m {

struct TrackedSignal {
    quint64 id = 0;             // stays with the signal while it is tracked
    qint64 hz = 0;              // where it was heard last
    std::optional<double> now;  // its reading in the latest sweep, if heard there
    double strongest = 0;       // its strongest reading
    QDateTime firstHeard;       // UTC
    QDateTime lastHeard;        // UTC
    quint16 recent = 0;         // bit k: heard in the sweep k sweeps before the latest
    int heardOfRecent() const;  // in how many of the last kRecentSweeps sweeps
};

class SignalTracker {
public:
    static constexpr int kRecentSweeps = 10;
    static constexpr qint64 kForgetAfterSecs = 10 * 60;
    // More than this many at once and the longest unheard go first.
    static constexpr size_t kMaxSignals = 200;

    // Takes the peaks of a completed sweep whose points were stepHz apart. A
    // peak within one step of a known signal is that signal, the nearest first;
    // the others are new. Signals last heard kForgetAfterSecs or more before
    // utc are forgotten.
    void addSweep(const QDateTime& utc, qint64 stepHz, const std::vector<Peak>& peaks);

    // In the order first heard.
    const std::vector<TrackedSignal>& signalList() const { return signals_; }
    void clear() { signals_.clear(); }

private:
    std::vector<TrackedSignal> signals_;
    quint64 nextId_ = 1;
};

}  // namespace qv7m
