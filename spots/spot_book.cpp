// SPDX-License-Identifier: GPL-3.0-or-later
#include "spots/spot_book.h"

#include <algorithm>

namespace qv7m {
namespace {

bool sameStation(const Spot& a, const Spot& b) {
    return a.call == b.call && std::abs(a.hz - b.hz) <= SpotBook::kSameStationHz;
}

}  // namespace

void SpotBook::add(const Spot& spot) {
    const auto old = std::find_if(spots_.begin(), spots_.end(),
                                  [&](const Spot& s) { return s.skimmer == spot.skimmer && sameStation(s, spot); });
    if (old != spots_.end()) {
        if (old->received > spot.received) return;
        spots_.erase(old);
    }
    spots_.push_back(spot);
    if (spots_.size() > kMaxSpots) spots_.erase(spots_.begin());
}

void SpotBook::expire(const QDateTime& now) {
    const QDateTime oldest = now.addSecs(-60LL * lifetimeMinutes_);
    spots_.erase(std::remove_if(spots_.begin(), spots_.end(), [&](const Spot& s) { return s.received < oldest; }),
                 spots_.end());
}

void SpotBook::setLifetimeMinutes(int minutes) { lifetimeMinutes_ = std::max(1, minutes); }

std::vector<Spot> SpotBook::inRange(qint64 lowHz, qint64 highHz, bool withSkimmers) const {
    std::vector<const Spot*> people;  // those that may hide a skimmer's spot in range
    for (const Spot& s : spots_) {
        if (!s.skimmer && s.hz >= lowHz - kSameStationHz && s.hz <= highHz + kSameStationHz) people.push_back(&s);
    }
    std::vector<Spot> out;
    for (const Spot& s : spots_) {
        if (s.hz < lowHz || s.hz > highHz) continue;
        if (s.skimmer) {
            if (!withSkimmers) continue;
            if (std::any_of(people.begin(), people.end(), [&](const Spot* p) { return sameStation(*p, s); })) continue;
        }
        out.push_back(s);
    }
    std::stable_sort(out.begin(), out.end(), [](const Spot& a, const Spot& b) { return a.hz < b.hz; });
    return out;
}

}  // namespace qv7m
