// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/levels.h"

#include <algorithm>
#include <cmath>

namespace qv7m {

double dbOverS9(double reading) {
    const double lines = (reading - kS9Reading) / kCountsPerGridLine;
    return lines * (reading >= kS9Reading ? kDbPerGridLineOverS9 : kDbPerSUnit);
}

QString sUnits(double reading) {
    // Round the dB over S9 first, so a reading that shows as "S9+0" reads "S9".
    const long over = std::lround(dbOverS9(reading));
    if (over > 0) return QStringLiteral("S9+%1").arg(over);
    const long unit = std::lround(reading / kCountsPerGridLine);
    return QStringLiteral("S%1").arg(std::max(0L, std::min(9L, unit)));
}

}  // namespace qv7m
