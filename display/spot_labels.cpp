// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/spot_labels.h"

#include <algorithm>
#include <cmath>

namespace qv7m {

namespace {
bool overlapsAny(const QRect& box, const std::vector<SpotLabel>& placed) {
    // A pixel of air between labels, so that two calls never read as one.
    const QRect padded = box.adjusted(-1, 0, 1, 0);
    return std::any_of(placed.begin(), placed.end(), [&](const SpotLabel& l) { return l.box.intersects(padded); });
}
}  // namespace

std::vector<SpotLabel> placeSpotLabels(std::vector<SpotToPlace> spots, double lowHz, double highHz, int width,
                                       const QFontMetrics& metrics, int top, int rows) {
    std::vector<SpotLabel> placed;
    if (!(highHz > lowHz) || width <= 0) return placed;
    std::sort(spots.begin(), spots.end(), [](const SpotToPlace& a, const SpotToPlace& b) { return a.hz < b.hz; });
    const int height = metrics.height();
    const double perHz = width / (highHz - lowHz);
    const auto boxAt = [&](int x, const QString& text, int row) {
        QRect box(0, top + row * height, metrics.horizontalAdvance(text) + 4, height);
        box.moveLeft(std::clamp(x - box.width() / 2, 0, std::max(0, width - box.width())));
        return box;
    };
    for (const SpotToPlace& spot : spots) {
        if (spot.hz < lowHz || spot.hz > highHz) continue;
        const int x = std::min(width - 1, int(std::floor((spot.hz - lowHz) * perHz)));
        bool done = false;
        for (int row = 0; row < rows && !done; ++row) {
            const QRect box = boxAt(x, spot.call, row);
            if (overlapsAny(box, placed)) continue;
            placed.push_back({box, spot.call, spot.hz, x, 0});
            done = true;
        }
        if (done) continue;
        // No room: the count nearest to the left takes it when it reaches
        // this column, else a new count goes in the row below.
        auto last = std::find_if(placed.rbegin(), placed.rend(), [](const SpotLabel& l) { return l.count > 0; });
        const QRect fresh = boxAt(x, QStringLiteral("+1"), rows);
        if (last != placed.rend() && (last->box.right() + 1 >= fresh.left() || overlapsAny(fresh, placed))) {
            ++last->count;
            last->text = QStringLiteral("+%1").arg(last->count);
            last->box.setWidth(metrics.horizontalAdvance(last->text) + 4);
            continue;
        }
        if (overlapsAny(fresh, placed)) continue;
        placed.push_back({fresh, QStringLiteral("+1"), spot.hz, x, 1});
    }
    return placed;
}

const SpotLabel* spotLabelAt(const std::vector<SpotLabel>& labels, QPoint at) {
    for (const SpotLabel& l : labels) {
        if (l.count == 0 && l.box.contains(at)) return &l;
    }
    return nullptr;
}

}  // namespace qv7m
