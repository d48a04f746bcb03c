// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The spots the window shows: one a station and frequency, the newest kept,
// each for a lifetime from its arrival, and never more than kMaxSpots so a
// busy cluster cannot grow it without end.

#include "spots/spot.h"

#include <vector>

namespace qv7m {

class SpotBook {
public:
    static constexpr size_t kMaxSpots = 2000;
    // Spots of one call this close are one station: spotters differ by a few hundred Hz.
    static constexpr qint64 kSameStationHz = 2000;
    static constexpr int kDefaultLifetimeMinutes = 10;

    // Keeps the spot; it replaces an older one of the same call nearby, from
    // the same kind of spotter (person or skimmer). The oldest spot goes when full.
    void add(const Spot& spot);
    // Drops the spots that arrived more than the lifetime before now.
    void expire(const QDateTime& now);
    // At least one minute.
    void setLifetimeMinutes(int minutes);
    int lifetimeMinutes() const { return lifetimeMinutes_; }
    // The spots from lowHz to highHz, lowest frequency first. A skimmer's spot
    // of a station a person has spotted too is left out: the person's comment says more.
    std::vector<Spot> inRange(qint64 lowHz, qint64 highHz, bool withSkimmers) const;
    size_t size() const { return spots_.size(); }
    void clear() { spots_.clear(); }

private:
    std::vector<Spot> spots_;  // in arrival order
    int lifetimeMinutes_ = kDefaultLifetimeMinutes;
};

}  // namespace qv7m
