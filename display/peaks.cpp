// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/peaks.h"

#include "display/levels.h"

#include <algorithm>
#include <cmath>

namespace qv7m {

namespace {

double median(std::vector<double> v) {
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + mid, v.end());
    if (v.size() % 2) return v[mid];
    const double upper = v[mid];
    return (upper + *std::max_element(v.begin(), v.begin() + mid)) / 2;
}

// A point this close to a peak's highest reading is part of its top: a noisy
// top's jitter stays within it, a signal's flank drops through it in a step.
constexpr double kTopDb = 3;

}  // namespace

std::vector<Peak> findPeaks(const std::vector<qint64>& hz, const std::vector<double>& readings, int maxPeaks) {
    const int n = int(std::min(hz.size(), readings.size()));
    std::vector<Peak> peaks;
    if (n < 3 || maxPeaks <= 0) return peaks;
    std::vector<double> db(n);
    for (int i = 0; i < n; ++i) {
        // A reading that is not a number would make every comparison false and
        // a peak of anything: it counts as the bottom of the scale.
        db[i] = dbOverS9(std::isfinite(readings[i]) ? readings[i] : 0);
    }
    const double threshold = median(db) + kPeakOverMedianDb;

    for (int a = 1; a < n - 1;) {
        // [a, b] is a run of equal readings; it is a top when both neighbours are lower.
        int b = a;
        while (b + 1 < n && db[b + 1] == db[a]) ++b;
        const double top = db[a];
        const bool isTop = db[a - 1] < top && b + 1 < n && db[b + 1] < top;
        if (!isTop || top < threshold) {
            a = b + 1;
            continue;
        }
        // Down to the nearest reading as high as this one on the left, or
        // higher on the right, or the window's end: so of equal tops the first
        // stands for those it is not 6 dB clear of.
        double leftCol = top;
        for (int j = a - 1; j >= 0 && db[j] < top; --j) leftCol = std::min(leftCol, db[j]);
        double rightCol = top;
        for (int j = b + 1; j < n && db[j] <= top; ++j) rightCol = std::min(rightCol, db[j]);
        if (top - leftCol < kPeakProminenceDb || top - rightCol < kPeakProminenceDb) {
            a = b + 1;
            continue;
        }
        // The top: the points near the highest, within the span it stands
        // 6 dB clear of; its middle is where the signal is.
        int first = a;
        int last = b;
        for (int j = a - 1; j >= 0 && top - db[j] < kPeakProminenceDb; --j) {
            if (top - db[j] <= kTopDb) first = j;
        }
        for (int j = b + 1; j < n && top - db[j] < kPeakProminenceDb; ++j) {
            if (top - db[j] <= kTopDb) last = j;
        }
        const int middle = first + (last - first) / 2;
        peaks.push_back({middle, hz[middle], readings[a]});
        a = b + 1;
    }
    std::stable_sort(peaks.begin(), peaks.end(), [](const Peak& x, const Peak& y) { return x.reading > y.reading; });
    if (int(peaks.size()) > maxPeaks) peaks.resize(maxPeaks);
    return peaks;
}

}  // namespace qv7m
