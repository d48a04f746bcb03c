#include "support/recording_surface.h"

namespace qv7m {

DrawCall DrawCall::line(float x1, float y1, float x2, float y2, OleColor c) {
    DrawCall d;
    d.kind = Kind::Line;
    d.x1 = x1, d.y1 = y1, d.x2 = x2, d.y2 = y2, d.color = c;
    return d;
}

DrawCall DrawCall::box(float x1, float y1, float x2, float y2, OleColor c) {
    DrawCall d = line(x1, y1, x2, y2, c);
    d.kind = Kind::filledBox;
    return d;
}

DrawCall DrawCall::print(const QString& text, float currentX, float currentY) {
    DrawCall d;
    d.kind = Kind::Print;
    d.text = text;
    d.currentX = currentX, d.currentY = currentY;
    return d;
}

DrawCall DrawCall::cls() { return DrawCall(); }

bool DrawCall::operator==(const DrawCall& o) const {
    return kind == o.kind && x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2 && color == o.color &&
           text == o.text && currentX == o.currentX && currentY == o.currentY;
}

QString DrawCall::toString() const {
    const auto colour = [](OleColor c) { return QStringLiteral("RGB(%1,%2,%3)").arg(c & 0xFF).arg((c >> 8) & 0xFF).arg((c >> 16) & 0xFF); };
    const auto pts = [this] { return QStringLiteral("(%1, %2)-(%3, %4)").arg(x1).arg(y1).arg(x2).arg(y2); };
    switch (kind) {
    case Kind::clear: return QStringLiteral("clear");
    case Kind::Line: return QStringLiteral("Line %1 %2").arg(pts(), colour(color));
    case Kind::filledBox: return QStringLiteral("Box %1 %2").arg(pts(), colour(color));
    case Kind::SetCurrentX: return QStringLiteral("currentX = %1").arg(x1);
    case Kind::SetCurrentY: return QStringLiteral("currentY = %1").arg(x1);
    case Kind::Print: return QStringLiteral("Print \"%1\" at (%2, %3)").arg(text).arg(currentX).arg(currentY);
    }
    return QString();
}

void PrintTo(const DrawCall& call, std::ostream* os) { *os << call.toString().toStdString(); }

RecordingSurface::RecordingSurface(double width, double height, OleColor backColor, OleColor foreColor,
                                   double lineHeight)
    : width_(width), height_(height), backColor_(backColor), foreColor_(foreColor), lineHeight_(lineHeight) {}

void RecordingSurface::clear() {
    currentX_ = currentY_ = 0;
    calls_.push_back(DrawCall::cls());
}

void RecordingSurface::line(float x1, float y1, float x2, float y2, OleColor color) {
    calls_.push_back(DrawCall::line(x1, y1, x2, y2, color));
}

void RecordingSurface::filledBox(float x1, float y1, float x2, float y2, OleColor color) {
    calls_.push_back(DrawCall::box(x1, y1, x2, y2, color));
}

void RecordingSurface::setCurrentX(float x) {
    currentX_ = x;
    DrawCall d;
    d.kind = DrawCall::Kind::SetCurrentX;
    d.x1 = x;
    calls_.push_back(d);
}

void RecordingSurface::setCurrentY(float y) {
    currentY_ = y;
    DrawCall d;
    d.kind = DrawCall::Kind::SetCurrentY;
    d.x1 = y;
    calls_.push_back(d);
}

void RecordingSurface::print(const QString& text) {
    calls_.push_back(DrawCall::print(text, currentX_, currentY_));
    currentX_ = 0;
    currentY_ = static_cast<float>(double(currentY_) + lineHeight_);
}

std::vector<DrawCall> RecordingSurface::calls(DrawCall::Kind kind) const {
    std::vector<DrawCall> out;
    for (const auto& c : calls_)
        if (c.kind == kind) out.push_back(c);
    return out;
}

std::vector<DrawCall> RecordingSurface::drawing() const {
    std::vector<DrawCall> out;
    for (const auto& c : calls_)
        if (c.kind != DrawCall::Kind::SetCurrentX && c.kind != DrawCall::Kind::SetCurrentY) out.push_back(c);
    return out;
}

}  // namespace qv7m
