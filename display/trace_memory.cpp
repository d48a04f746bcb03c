// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/trace_memory.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace qv7m {

void TraceMemory::setWindow(int32_t stepUnits, double spanUnits, double centreUnits) {
    if (stepUnits != step_ || spanUnits != span_) kept_.clear();
    step_ = stepUnits;
    span_ = spanUnits;
    centre_ = centreUnits;
}

double TraceMemory::add(int32_t units, int16_t reading) {
    auto at = nearest(units);
    if (at == kept_.end()) {
        at = kept_.emplace(units, Kept{reading, reading, {reading}, 1, 0}).first;
        trim();
        return reading;
    }
    // A step off the old grid after a retune: the kept value moves onto the
    // new grid, so that the holds go on where the windows overlap.
    if (at->first != units) {
        Kept moved = at->second;
        kept_.erase(at);
        at = kept_.emplace(units, moved).first;
    }
    Kept& k = at->second;
    k.max = std::max(k.max, reading);
    k.min = std::min(k.min, reading);
    k.newest = uint8_t((k.newest + 1) % kAverageDepth);
    k.last[k.newest] = reading;
    k.count = uint8_t(std::min(k.count + 1, kAverageDepth));
    double sum = 0;
    for (int i = 0; i < k.count; ++i) sum += k.last[(k.newest + kAverageDepth - i) % kAverageDepth];
    return sum / k.count;
}

TraceMemory::Map::const_iterator TraceMemory::nearest(int32_t units) const {
    // Within half a step either side; the nearer one when two are.
    const int32_t half = std::max(step_ / 2, 0);
    auto above = kept_.lower_bound(units);
    const bool aboveOk = above != kept_.end() && above->first - units <= half;
    if (above != kept_.end() && above->first == units) return above;
    if (above != kept_.begin()) {
        const auto below = std::prev(above);
        const bool belowOk = units - below->first <= half;
        if (belowOk && (!aboveOk || units - below->first < above->first - units)) return below;
    }
    return aboveOk ? above : kept_.end();
}

TraceMemory::Map::iterator TraceMemory::nearest(int32_t units) {
    const auto at = std::as_const(*this).nearest(units);
    return at == kept_.cend() ? kept_.end() : kept_.erase(at, at);
}

std::optional<int16_t> TraceMemory::maxAt(int32_t units) const {
    const auto at = nearest(units);
    if (at == kept_.end()) return std::nullopt;
    return at->second.max;
}

std::optional<int16_t> TraceMemory::minAt(int32_t units) const {
    const auto at = nearest(units);
    if (at == kept_.end()) return std::nullopt;
    return at->second.min;
}

std::optional<int16_t> TraceMemory::latestAt(int32_t units) const {
    const auto at = nearest(units);
    if (at == kept_.end()) return std::nullopt;
    return at->second.last[at->second.newest];
}

void TraceMemory::clearHolds() {
    for (auto& [units, k] : kept_) {
        k.max = k.last[k.newest];
        k.min = k.last[k.newest];
    }
}

void TraceMemory::trim() {
    // An operator tuning across a band for hours would otherwise grow this
    // without end; what lies farthest from where they listen now goes first.
    if (kept_.size() <= kMaxFrequencies) return;
    std::vector<std::pair<double, int32_t>> far;
    far.reserve(kept_.size());
    for (const auto& [units, k] : kept_) far.emplace_back(-std::abs(units - centre_), units);
    const size_t drop = kept_.size() - kMaxFrequencies * 3 / 4;
    std::partial_sort(far.begin(), far.begin() + long(drop), far.end());
    for (size_t i = 0; i < drop; ++i) kept_.erase(far[i].second);
}

}  // namespace qv7m
