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

void paintGraticule(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText,
                    int16_t styleIndex, double& spanUnits) {
    // Span from the width text, in 10 Hz units.
    const double kHz = toDouble(disText);
    if (std::isnan(kHz))
        throw RuntimeError(RuntimeError::Kind::TypeMismatch,
                           QStringLiteral("Type mismatch: \"%1\" is not a number").arg(disText));
    const double span = intPart(kHz) * 100.0;
    if (std::isinf(span))
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: a width of \"%1\" kHz is too large").arg(disText));
    spanUnits = span;

    // One mark a kHz in the strip. Bound and step are taken once; the loop
    // counts like a For loop, so a negative step never reaches the bound.
    const double end = picture2.Width();
    if (spanUnits == 0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero,
                           QStringLiteral("Division by zero: a width of \"%1\" kHz gives a span of 0").arg(disText));
    const double step = end / spanUnits * 100.0;
    const bool runs = step >= 0 ? 0 <= end : 0 >= end;
    // Marks under a twip apart cannot be told apart, and there could be
    // billions of them: refuse rather than hang the window.
    if (runs && !(std::abs(step) >= 1.0))
        throw RuntimeError(RuntimeError::Kind::Overflow,
                           QStringLiteral("Overflow: a width of \"%1\" kHz puts the frequency marks closer than a twip")
                               .arg(disText));
    for (double x = 0; step >= 0 ? x <= end : x >= end; x += step)
        picture2.Line(float(x), 0.0f, float(x), float(picture2.Height()), kMarkColor);

    picture1.Line(float(picture1.Width() / 2), 0.0f, float(picture1.Width() / 2), float(picture1.Height()),
                  kCentreColor);

    if (styleIndex < 2) {  // no selection and both graph styles; not the waterfall
        for (int i = 14; i >= 2; i -= 2) {
            const double y = picture1.Height() * i / 15;
            picture1.Line(0.0f, float(y), float(picture1.Width()), float(y), kGridColor);
        }
        picture1.setCurrentX(10.0f);
        for (int i = 14; i >= 2; i -= 2) {
            picture1.setCurrentY(float(picture1.Height() * i / 15 - 100));
            picture1.Print(levelLabel(i));
        }
    }
}

void disClick(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText, int16_t styleIndex,
              double& spanUnits) {
    picture2.Cls();
    paintGraticule(picture1, picture2, disText, styleIndex, spanUnits);
}

void styleClick(DrawingSurface& picture1, DrawingSurface& picture2, const QString& disText, int16_t styleIndex,
                double& spanUnits) {
    picture1.Cls();
    paintGraticule(picture1, picture2, disText, styleIndex, spanUnits);
}

}  // namespace qv7m
