// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/graticule.h"

#include "core/numeric.h"
#include "core/runtime_error.h"

#include <cmath>

namespace qv7m {

namespace {
constexpr OleColor kMarkColor = RGB(255, 255, 255);
constexpr OleColor kCentreColor = RGB(100, 100, 100);
constexpr OleColor kGridColor = RGB(80, 80, 80);
}  // namespace

QString levelLabel(int i) {
    if (i > 4) return QStringLiteral(" S ") + QString::number(14 - i + 1);
    return i == 4 ? QStringLiteral("+20dB") : QStringLiteral("+40dB");
}

void paintGraticule(DrawingSurface& plot, DrawingSurface& scaleStrip, const QString& widthText, int16_t styleIndex,
                    double& spanUnits) {
    // Span from the width text, in 10 Hz units.
    const double kHz = toDouble(widthText);
    if (std::isnan(kHz))
        throw RuntimeError(RuntimeError::Kind::TypeMismatch,
                           QStringLiteral("Type mismatch: \"%1\" is not a number").arg(widthText));
    const double span = intPart(kHz) * 100.0;
    if (std::isinf(span))
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: a width of \"%1\" kHz is too large").arg(widthText));
    spanUnits = span;

    // One mark a kHz in the strip. Bound and step are taken once; the loop
    // counts like a For loop, so a negative step never reaches the bound.
    const double end = scaleStrip.width();
    if (spanUnits == 0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero,
                           QStringLiteral("Division by zero: a width of \"%1\" kHz gives a span of 0").arg(widthText));
    const double step = end / spanUnits * 100.0;
    const bool runs = step >= 0 ? 0 <= end : 0 >= end;
    // Marks under a twip apart cannot be told apart, and there could be
    // billions of them: refuse rather than hang the window.
    if (runs && !(std::abs(step) >= 1.0))
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: a width of \"%1\" kHz puts the frequency marks closer than a twip")
                               .arg(widthText));
    for (double x = 0; step >= 0 ? x <= end : x >= end; x += step)
        scaleStrip.line(float(x), 0.0f, float(x), float(scaleStrip.height()), kMarkColor);

    plot.line(float(plot.width() / 2), 0.0f, float(plot.width() / 2), float(plot.height()), kCentreColor);

    if (styleIndex < 2) {  // no selection and both graph styles; not the waterfall
        for (int i = 14; i >= 2; i -= 2) {
            const double y = plot.height() * i / 15;
            plot.line(0.0f, float(y), float(plot.width()), float(y), kGridColor);
        }
        plot.setCurrentX(10.0f);
        for (int i = 14; i >= 2; i -= 2) {
            plot.setCurrentY(float(plot.height() * i / 15 - 100));
            plot.print(levelLabel(i));
        }
    }
}

}  // namespace qv7m
