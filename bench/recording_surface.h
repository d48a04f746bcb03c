// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drawing surface that draws nothing and remembers every primitive, so that
// the benchmark can read back what each step drew.

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
    bool operator==(const DrawCall& o) const {
        return kind == o.kind && x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2 && color == o.color &&
               text == o.text;
    }
};
inline void PrintTo(const DrawCall& c, std::ostream* os) {
    *os << int(c.kind) << " (" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ") #" << std::hex << c.color
        << std::dec << " " << c.text.toStdString();
}

class RecordingSurface : public DrawingSurface {
public:
    explicit RecordingSurface(double w = 8000, double h = 2550) : width_(w), height_(h) {}
    double width() const override { return width_; }
    double height() const override { return height_; }
    OleColor backColor() const override { return 0; }
    OleColor foreColor() const override { return 0x00E0E0E0; }
    void clear() override { x_ = y_ = 0, calls.push_back({}); }
    void line(float a, float b, float c, float d, OleColor k) override {
        calls.push_back(DrawCall::line(a, b, c, d, k));
    }
    void filledBox(float a, float b, float c, float d, OleColor k) override {
        calls.push_back(DrawCall::box(a, b, c, d, k));
    }
    void setCurrentX(float x) override { x_ = x; }
    void setCurrentY(float y) override { y_ = y; }
    float currentX() const override { return x_; }
    float currentY() const override { return y_; }
    // A text at the print position; the line advance is far, so that labels placed by position show.
    void print(const QString& text) override {
        calls.push_back({DrawCall::Kind::Print, x_, y_, 0, 0, 0, text}), x_ = 0, y_ += 5000;
    }
    std::vector<DrawCall> calls;

private:
    double width_, height_;
    float x_ = 0, y_ = 0;
};

}  // namespace qv7m
