#pragma once
// A drawing surface that draws nothing and remembers every primitive, so that
// tests can check the exact lines, boxes, colours and printed texts.

#include "display/surface.h"

#include <ostream>
#include <vector>

namespace qv7m {

struct DrawCall {
    enum class Kind { Clear, Line, Box, Print } kind = Kind::Clear;
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // Print: the print position in x1, y1
    OleColor color = 0;
    QString text;

    static DrawCall line(float a, float b, float c, float d, OleColor k) { return {Kind::Line, a, b, c, d, k, {}}; }
    static DrawCall box(float a, float b, float c, float d, OleColor k) { return {Kind::Box, a, b, c, d, k, {}}; }
    static DrawCall print(const QString& t, float x, float y) { return {Kind::Print, x, y, 0, 0, 0, t}; }
    bool operator==(const DrawCall& o) const {
        return kind == o.kind && x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2 && color == o.color && text == o.text;
    }
};

inline void PrintTo(const DrawCall& c, std::ostream* os) {
    *os << "{" << int(c.kind) << " " << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " #" << std::hex << c.color
        << std::dec << " \"" << c.text.toStdString() << "\"}";
}

class RecordingSurface : public DrawingSurface {
public:
    explicit RecordingSurface(double w = 8000, double h = 2550, OleColor back = 0, double lineHeight = 195)
        : width_(w), height_(h), back_(back), lineHeight_(lineHeight) {}
    double width() const override { return width_; }
    double height() const override { return height_; }
    OleColor backColor() const override { return back_; }
    OleColor foreColor() const override { return 0x00E0E0E0; }
    void clear() override { x_ = y_ = 0, calls.push_back({}); }
    void line(float a, float b, float c, float d, OleColor k) override { calls.push_back(DrawCall::line(a, b, c, d, k)); }
    void filledBox(float a, float b, float c, float d, OleColor k) override { calls.push_back(DrawCall::box(a, b, c, d, k)); }
    void setCurrentX(float x) override { x_ = x; }
    void setCurrentY(float y) override { y_ = y; }
    float currentX() const override { return x_; }
    float currentY() const override { return y_; }
    void print(const QString& text) override {
        calls.push_back(DrawCall::print(text, x_, y_));
        x_ = 0, y_ = float(y_ + lineHeight_);
    }

    std::vector<DrawCall> calls;

private:
    double width_, height_;
    OleColor back_;
    double lineHeight_;
    float x_ = 0, y_ = 0;
};

}  // namespace qv7m
