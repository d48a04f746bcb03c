// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numeric.h"

#include "core/runtime_error.h"

#include <cmath>
#include <limits>

namespace qv7m {

namespace {
double roundHalfEven(double v) {
    // nearbyint follows the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; do it by hand so it never depends on that.
    double f = std::floor(v);
    double diff = v - f;
    if (diff > 0.5) return f + 1.0;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}
}  // namespace

int32_t toInt32(double v) {
    if (std::isnan(v)) throw RuntimeError(RuntimeError::Kind::Overflow, QStringLiteral("Overflow: not a number"));
    double r = roundHalfEven(v);
    if (r < -2147483648.0 || r > 2147483647.0)
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: %1 does not fit a 32-bit integer").arg(v, 0, 'g', 17));
    return static_cast<int32_t>(r);
}

int16_t toInt16(double v) {
    if (std::isnan(v)) throw RuntimeError(RuntimeError::Kind::Overflow, QStringLiteral("Overflow: not a number"));
    double r = roundHalfEven(v);
    if (r < -32768.0 || r > 32767.0)
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: %1 does not fit a 16-bit integer").arg(v, 0, 'g', 17));
    return static_cast<int16_t>(r);
}

int32_t addInt32(int32_t a, int32_t b) {
    int64_t s = static_cast<int64_t>(a) + static_cast<int64_t>(b);
    if (s < std::numeric_limits<int32_t>::min() || s > std::numeric_limits<int32_t>::max())
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: %1 + %2 does not fit a 32-bit integer").arg(a).arg(b));
    return static_cast<int32_t>(s);
}

double toDouble(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    const double v = t.toDouble(&ok);
    // Qt reads "nan" and "inf" as numbers; the program's texts never are.
    if (ok && !std::isfinite(v))
        throw RuntimeError(RuntimeError::Kind::TypeMismatch,
                           QStringLiteral("Type mismatch: \"%1\" is not a number").arg(text));
    // Qt reports a value beyond the double range as infinity with ok false.
    if (std::isinf(v))
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: \"%1\" is too large a number").arg(t));
    if (!ok || t.isEmpty())
        throw RuntimeError(RuntimeError::Kind::TypeMismatch,
                           QStringLiteral("Type mismatch: \"%1\" is not a number").arg(text));
    return v;
}

double intPart(double v) { return std::floor(v); }

}  // namespace qv7m
