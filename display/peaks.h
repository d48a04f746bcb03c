// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The peaks of a sweep that stand clear of the band: the ones "Mark peaks"
// marks and the signal list follows.

#include <QtGlobal>
#include <vector>

namespace qv7m {

struct Peak {
    int index = 0;       // the point of the sweep it stands at
    qint64 hz = 0;       // that point's frequency
    double reading = 0;  // its top's meter reading
};

// A peak stands at least 10 dB (on the grid's scale, display/levels.h) above
// the sweep's median reading, and at least 6 dB above the lowest reading
// between it and the nearest higher reading on either side, or the window's
// end where there is none. So a peak is seen to fall by 6 dB on both sides
// within the window: a reading still rising at the window's end may be the
// flank of a signal outside it, and is not marked. A flat or noisy top counts
// once: its bumps less than 6 dB deep are part of it, and it stands at the
// middle between its first and last point within 3 dB of its highest.
//
// hz[i] is the frequency of readings[i]; points beyond the shorter of the
// two are ignored. Returns at most maxPeaks, the strongest first (at equal
// strength the earlier point first).
std::vector<Peak> findPeaks(const std::vector<qint64>& hz, const std::vector<double>& readings, int maxPeaks = 8);

// How far a peak must stand above the median and above its surroundings.
constexpr double kPeakOverMedianDb = 10;
constexpr double kPeakProminenceDb = 6;

}  // namespace qv7m
