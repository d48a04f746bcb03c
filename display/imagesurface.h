// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drawing surface the picture boxes really draw on: a backing image in
// device pixels that the widget only shows. Drawing happens here, when the
// program draws, never in the widget's paint handler; so whatever was drawn
// survives the window being covered or minimised.
//
// Pixel rule. Twips map to device pixels by p(t) = floor(t * ratio / 15): the
// pixel that contains the point. The image is floor(Width * ratio / 15) by
// floor(Height * ratio / 15) pixels, so anything at x = Width or y = Height
// lands just outside and is clipped. Pens are one screen pixel wide, which
// is `penPixels()` = round(ratio) device pixels (at least 1): a pen mark at
// p covers p .. p + penPixels - 1.
//  - A filled box covers, in each direction, every pixel from the one that
//    contains the lower corner co-ordinate to the one that contains the
//    higher, both included, plus the pen's extra pixels past the higher one
//    (the outline is drawn with the pen). Boxes that share a corner
//    co-ordinate therefore share that pixel row or column; the later wins.
//  - A line covers the pixels of both end points and, stepping along its
//    longer axis one pixel at a time, the pixel nearest the true line on the
//    other axis (halves round down/right), each widened by the pen.
//  - Lines and boxes replace what is there: no blending, no antialiasing.
//    Text is drawn by Qt with the font's usual smoothing.
// A co-ordinate that is not a finite number draws nothing.

#include "display/surface.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>

namespace qv7m {

class ImageSurface : public DrawingSurface {
public:
    ImageSurface(double widthTwips, double heightTwips, OleColor backColor, OleColor foreColor,
                 const QFont& font = QFont(), qreal devicePixelRatio = 1.0);

    double width() const override { return width_; }
    double height() const override { return height_; }
    OleColor backColor() const override { return backColor_; }
    OleColor foreColor() const override { return foreColor_; }

    void clear() override;
    void line(float x1, float y1, float x2, float y2, OleColor color) override;
    void filledBox(float x1, float y1, float x2, float y2, OleColor color) override;

    void setCurrentX(float x) override { currentX_ = x; }
    void setCurrentY(float y) override { currentY_ = y; }
    float currentX() const override { return currentX_; }
    float currentY() const override { return currentY_; }
    void print(const QString& text) override;

    // Takes effect at the next clear or drawing; what is shown stays.
    void setBackColor(OleColor c) { backColor_ = c; }
    void setForeColor(OleColor c) { foreColor_ = c; }
    void setFont(const QFont& font) { font_ = font; }
    const QFont& font() const { return font_; }
    // The height of one printed line, in twips: how far Print moves currentY.
    double lineHeightTwips() const;

    // A new ratio rebuilds the image at the new resolution. The old content is
    // carried over, enlarged or reduced pixel for pixel, so nothing is lost;
    // it is sharp again where it is next drawn.
    void setDevicePixelRatio(qreal ratio);
    qreal devicePixelRatio() const { return ratio_; }
    int penPixels() const;

    // The backing image (format RGB32, its devicePixelRatio set).
    const QImage& image() const { return image_; }
    // Device pixel for a co-ordinate in twips, by the rule above.
    int toPixel(double twips) const;
    // The colour of one device pixel as 0x00BBGGRR; for tests and tools.
    OleColor pixel(int px, int py) const;

    // Counts every change to the image; the handler runs after each one with
    // the device pixels it changed (within the image), so that a view
    // repaints only those.
    uint64_t changeCount() const { return changes_; }
    void setChangeHandler(std::function<void(const QRect& devicePixels)> handler) { onChanged_ = std::move(handler); }

    static QRgb toQRgb(OleColor c);

private:
    void fillPixels(int64_t left, int64_t top, int64_t right, int64_t bottom, QRgb rgb);
    void changed(const QRect& pixels);
    void changedAll();
    QRect spanned(int64_t left, int64_t top, int64_t right, int64_t bottom) const;

    double width_;
    double height_;
    OleColor backColor_;
    OleColor foreColor_;
    QFont font_;
    qreal ratio_;
    QImage image_;
    float currentX_ = 0;
    float currentY_ = 0;
    uint64_t changes_ = 0;
    std::function<void(const QRect&)> onChanged_;
};

}  // namespace qv7m
