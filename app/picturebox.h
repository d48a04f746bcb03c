#pragma once
// Temporary stand-in until the drawing widget lands.
#include "display/surface.h"
#include <QFont>
#include <QWidget>
#include <functional>

namespace qv7m {
class NullSurface : public DrawingSurface {
public:
    NullSurface(double w, double h, OleColor b, OleColor f) : w_(w), h_(h), b_(b), f_(f) {}
    double Width() const override { return w_; }
    double Height() const override { return h_; }
    OleColor BackColor() const override { return b_; }
    OleColor ForeColor() const override { return f_; }
    void Cls() override {}
    void Line(float, float, float, float, OleColor) override {}
    void FilledBox(float, float, float, float, OleColor) override {}
    void setCurrentX(float x) override { x_ = x; }
    void setCurrentY(float y) override { y_ = y; }
    float CurrentX() const override { return x_; }
    float CurrentY() const override { return y_; }
    void Print(const QString&) override {}
private:
    double w_, h_; OleColor b_, f_; float x_ = 0, y_ = 0;
};
class PictureBox : public QWidget {
public:
    PictureBox(QWidget* parent, int wTwips, int hTwips, OleColor back, OleColor fore, const QFont&)
        : QWidget(parent), s_(wTwips, hTwips, back, fore) {}
    DrawingSurface& surface() { return s_; }
    std::function<void()> onPaint;
private:
    NullSurface s_;
};
}  // namespace qv7m
