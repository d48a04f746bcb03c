#pragma once
// A drawing surface that draws nothing and remembers every call, so that tests
// can check the exact primitives, colours, texts and print positions.

#include "display/surface.h"

#include <QString>
#include <ostream>
#include <vector>

namespace qv7m {

struct DrawCall {
    enum class Kind { clear, Line, filledBox, SetCurrentX, SetCurrentY, Print };

    Kind kind = Kind::clear;
    // Line and filledBox: the two points. SetCurrentX/SetCurrentY: the value in x1.
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    OleColor color = 0;
    QString text;  // Print
    // Print: the print position the text was placed at.
    float currentX = 0, currentY = 0;

    static DrawCall line(float x1, float y1, float x2, float y2, OleColor c);
    static DrawCall box(float x1, float y1, float x2, float y2, OleColor c);
    static DrawCall print(const QString& text, float currentX, float currentY);
    static DrawCall cls();

    bool operator==(const DrawCall& o) const;
    bool operator!=(const DrawCall& o) const { return !(*this == o); }
    QString toString() const;
};

// Lets GoogleTest show a call readably.
void PrintTo(const DrawCall& call, std::ostream* os);

class RecordingSurface : public DrawingSurface {
public:
    explicit RecordingSurface(double width = 8000, double height = 2550, OleColor backColor = RGB(0, 0, 0),
                              OleColor foreColor = 0x00E0E0E0, double lineHeight = 195);

    double width() const override { return width_; }
    double height() const override { return height_; }
    OleColor backColor() const override { return backColor_; }
    OleColor foreColor() const override { return foreColor_; }

    void clear() override;
    void line(float x1, float y1, float x2, float y2, OleColor color) override;
    void filledBox(float x1, float y1, float x2, float y2, OleColor color) override;
    void setCurrentX(float x) override;
    void setCurrentY(float y) override;
    float currentX() const override { return currentX_; }
    float currentY() const override { return currentY_; }
    // Records the text at the print position, then ends the line.
    void print(const QString& text) override;

    void setWidth(double w) { width_ = w; }
    void setHeight(double h) { height_ = h; }
    void setBackColor(OleColor c) { backColor_ = c; }
    void setForeColor(OleColor c) { foreColor_ = c; }
    void setLineHeight(double h) { lineHeight_ = h; }

    const std::vector<DrawCall>& calls() const { return calls_; }
    // Only the calls of one kind, in order.
    std::vector<DrawCall> calls(DrawCall::Kind kind) const;
    // The drawing calls only: clear, Line, filledBox and Print.
    std::vector<DrawCall> drawing() const;
    void forgetCalls() { calls_.clear(); }

private:
    double width_, height_;
    OleColor backColor_, foreColor_;
    double lineHeight_;
    float currentX_ = 0, currentY_ = 0;
    std::vector<DrawCall> calls_;
};

}  // namespace qv7m
