// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the call signs of spots go along the top of the plot: each label
// centred over its frequency, stacked in rows so that no two overlap, and
// where a label cannot fit, a count of the spots it stands for instead.

#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <vector>

namespace qv7m {

struct SpotToPlace {
    qint64 hz = 0;
    QString call;
};

struct SpotLabel {
    QRect box;      // where the text goes
    QString text;   // the call sign, or "+N" for spots that did not fit
    qint64 hz = 0;  // the spot's frequency (a count: the first spot it stands for)
    int markX = 0;  // the frequency's column
    int count = 0;  // 0 for a call sign, else how many spots the count stands for
};

// Places the spots (any order) inside [lowHz, highHz] across `width` pixels,
// in `rows` rows from `top` down, and the counts in one row below them.
std::vector<SpotLabel> placeSpotLabels(std::vector<SpotToPlace> spots, double lowHz, double highHz, int width,
                                       const QFontMetrics& metrics, int top, int rows);

// The call-sign label (not a count) at a point, or nullptr.
const SpotLabel* spotLabelAt(const std::vector<SpotLabel>& labels, QPoint at);

}  // namespace qv7m
