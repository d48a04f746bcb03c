// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the plot remembers of earlier sweeps: the highest and lowest reading
// and the last four readings at each frequency. It is kept by frequency, not
// by column, so that after a retune it still shows where the new window
// overlaps the old one.

#include <cstdint>
#include <map>
#include <optional>

namespace qv7m {

class TraceMemory {
public:
    // Readings this many sweeps deep are averaged.
    static constexpr int kAverageDepth = 4;
    // Frequencies kept; past this the ones farthest from the newest window go.
    static constexpr size_t kMaxFrequencies = 8192;

    // The window's step and width (10 Hz units). A change of either clears
    // everything: a held value belongs to one step's grid.
    void setWindow(int32_t stepUnits, double spanUnits, double centreUnits);
    // Takes a reading at a frequency (10 Hz units) and returns the mean of it
    // and the readings of the sweeps before it there, up to kAverageDepth in all.
    double add(int32_t units, int16_t reading);

    // What is held at the kept frequency nearest to `units`, within half a step.
    std::optional<int16_t> maxAt(int32_t units) const;
    std::optional<int16_t> minAt(int32_t units) const;
    std::optional<int16_t> latestAt(int32_t units) const;

    // The holds start again from the latest reading at each frequency.
    void clearHolds();
    // Forgets the holds and the readings being averaged.
    void clear() { kept_.clear(); }
    size_t size() const { return kept_.size(); }

private:
    struct Kept {
        int16_t max = 0;
        int16_t min = 0;
        int16_t last[kAverageDepth] = {};  // newest at `newest`
        uint8_t count = 0;
        uint8_t newest = 0;
    };
    using Map = std::map<int32_t, Kept>;
    Map::iterator nearest(int32_t units);
    Map::const_iterator nearest(int32_t units) const;
    void trim();

    Map kept_;
    int32_t step_ = 0;
    double span_ = 0;
    double centre_ = 0;
};

}  // namespace qv7m
