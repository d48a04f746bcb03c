// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/imagesurface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace qv7m {

namespace {

constexpr double kTwipsPerPixel = 15.0;
// Far enough outside any image to be clipped, small enough that the line
// arithmetic below cannot overflow 64 bits.
constexpr int64_t kPixelLimit = int64_t(1) << 28;

int64_t clampPixel(double v) {
    if (v < -double(kPixelLimit)) return -kPixelLimit;
    if (v > double(kPixelLimit)) return kPixelLimit;
    return static_cast<int64_t>(std::floor(v));
}

int extentPixels(double twips, qreal ratio) {
    // Multiply before dividing so that whole pixels come out exact.
    const double v = std::floor(twips * ratio / kTwipsPerPixel);
    if (!(v > 0)) return 0;
    return static_cast<int>(std::min(v, 32767.0));
}

int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}

}  // namespace

ImageSurface::ImageSurface(double widthTwips, double heightTwips, OleColor backColor, OleColor foreColor,
                           const QFont& font, qreal devicePixelRatio)
    : width_(widthTwips),
      height_(heightTwips),
      backColor_(backColor),
      foreColor_(foreColor),
      font_(font),
      ratio_(devicePixelRatio > 0 ? devicePixelRatio : 1.0) {
    image_ = QImage(extentPixels(width_, ratio_), extentPixels(height_, ratio_), QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio_);
    image_.fill(toQRgb(backColor_));  // a new box shows its background
}

QRgb ImageSurface::toQRgb(OleColor c) {
    // Only the 24 colour bits count; the top byte (system-colour flag) is ignored.
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

int ImageSurface::penPixels() const { return std::max(1, qRound(ratio_)); }

int ImageSurface::toPixel(double twips) const { return static_cast<int>(clampPixel(twips * ratio_ / kTwipsPerPixel)); }

OleColor ImageSurface::pixel(int px, int py) const {
    const QRgb c = image_.pixel(px, py);
    return RGB(qRed(c), qGreen(c), qBlue(c));
}

double ImageSurface::lineHeightTwips() const {
    // The image's own resolution gives logical pixels, whatever the ratio.
    return QFontMetricsF(font_, &image_).height() * kTwipsPerPixel;
}

// The device pixels from (left, top) to (right, bottom), both included, held
// to what a QRect can take; the caller clips to the image.
QRect ImageSurface::spanned(int64_t left, int64_t top, int64_t right, int64_t bottom) const {
    auto held = [](int64_t v) { return int(std::clamp<int64_t>(v, -1, 1 << 24)); };
    return QRect(QPoint(held(left), held(top)), QPoint(held(right), held(bottom)));
}

void ImageSurface::changed(const QRect& pixels) {
    ++changes_;
    const QRect within = pixels.intersected(image_.rect());
    if (onChanged_ && !within.isEmpty()) onChanged_(within);
}

void ImageSurface::changedAll() { changed(image_.rect()); }

void ImageSurface::fillPixels(int64_t left, int64_t top, int64_t right, int64_t bottom, QRgb rgb) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, image_.width() - 1);
    bottom = std::min<int64_t>(bottom, image_.height() - 1);
    if (left > right || top > bottom) return;
    for (int64_t y = top; y <= bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(y)));
        std::fill(row + left, row + right + 1, rgb);
    }
}

void ImageSurface::clear() {
    image_.fill(toQRgb(backColor_));
    currentX_ = 0;
    currentY_ = 0;
    changedAll();
}

void ImageSurface::filledBox(float x1, float y1, float x2, float y2, OleColor color) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
    const int64_t pen = penPixels();
    const int64_t px1 = toPixel(std::min(x1, x2)), px2 = toPixel(std::max(x1, x2));
    const int64_t py1 = toPixel(std::min(y1, y2)), py2 = toPixel(std::max(y1, y2));
    fillPixels(px1, py1, px2 + pen - 1, py2 + pen - 1, toQRgb(color));
    changed(spanned(px1, py1, px2 + pen - 1, py2 + pen - 1));
}

void ImageSurface::line(float x1, float y1, float x2, float y2, OleColor color) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
    const QRgb rgb = toQRgb(color);
    const int64_t pen = penPixels();
    int64_t ax = toPixel(x1), ay = toPixel(y1), bx = toPixel(x2), by = toPixel(y2);
    const QRect touched =
        spanned(std::min(ax, bx), std::min(ay, by), std::max(ax, bx) + pen - 1, std::max(ay, by) + pen - 1);
    const bool xMajor = std::llabs(bx - ax) >= std::llabs(by - ay);
    // Step along the longer axis, from its lower end, so that a line and its
    // reverse light the same pixels. Only the visible stretch is walked.
    if (xMajor) {
        if (bx < ax) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        const int64_t dx = bx - ax, dy = by - ay;
        const int64_t from = std::max<int64_t>(ax, 1 - pen), to = std::min<int64_t>(bx, image_.width() - 1);
        for (int64_t x = from; x <= to; ++x) {
            const int64_t y = dx == 0 ? ay : ay + floorDiv(2 * (x - ax) * dy + dx, 2 * dx);
            fillPixels(x, y, x + pen - 1, y + pen - 1, rgb);
        }
    } else {
        if (by < ay) {
            std::swap(ax, bx);
            std::swap(ay, by);
        }
        const int64_t dx = bx - ax, dy = by - ay;
        const int64_t from = std::max<int64_t>(ay, 1 - pen), to = std::min<int64_t>(by, image_.height() - 1);
        for (int64_t y = from; y <= to; ++y) {
            const int64_t x = ax + floorDiv(2 * (y - ay) * dx + dy, 2 * dy);
            fillPixels(x, y, x + pen - 1, y + pen - 1, rgb);
        }
    }
    changed(touched);
}

void ImageSurface::print(const QString& text) {
    if (!image_.isNull() && std::isfinite(currentX_) && std::isfinite(currentY_)) {
        QPainter p(&image_);  // scaled by the image's ratio: logical pixels from here
        p.setFont(font_);
        p.setPen(QColor(toQRgb(foreColor_)));
        const QFontMetricsF fm(font_, &image_);
        const QPointF baseline(double(currentX_) / kTwipsPerPixel, double(currentY_) / kTwipsPerPixel + fm.ascent());
        // Far-off positions would only be clipped; keep them out of Qt's raster code.
        if (std::abs(baseline.x()) < 1e6 && std::abs(baseline.y()) < 1e6) p.drawText(baseline, text);
    }
    currentX_ = 0;
    currentY_ = static_cast<float>(double(currentY_) + lineHeightTwips());
    changedAll();
}

void ImageSurface::setDevicePixelRatio(qreal ratio) {
    if (!(ratio > 0) || ratio == ratio_) return;
    ratio_ = ratio;
    const int w = extentPixels(width_, ratio_), h = extentPixels(height_, ratio_);
    QImage next =
        image_.isNull() || w == 0 || h == 0
            ? QImage(w, h, QImage::Format_RGB32)
            : image_.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
    if (image_.isNull() && !next.isNull()) next.fill(toQRgb(backColor_));
    next.setDevicePixelRatio(ratio_);
    image_ = next;
    changedAll();
}

}  // namespace qv7m
