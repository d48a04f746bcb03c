// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/picturebox.h"

#include <QEvent>
#include <QExposeEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include <cmath>

namespace qv7m {

namespace {
int logicalPixels(double twips) { return std::max(0, int(std::floor(twips / 15.0))); }

// The region of an expose event. Qt 6 marks the accessor deprecated in favour
// of paint events, but only the expose tells an uncovered window from a
// repaint the program asked for.
QRegion exposedRegion(const QExposeEvent* e) {
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return e->region();
    QT_WARNING_POP
}
}  // namespace

PictureBox::PictureBox(double widthTwips, double heightTwips, OleColor backColor, OleColor foreColor, const QFont& font,
                       QWidget* parent)
    : QWidget(parent), surface_(widthTwips, heightTwips, backColor, foreColor, font, devicePixelRatioF()) {
    setFixedSize(sizeHint());
    // A readout follows the pointer without a button held.
    setMouseTracking(true);
    // The image covers the whole box: Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Only what the program changed is repainted: a point is a column or two.
    surface_.setChangeHandler([this](const QRect& pixels) {
        const qreal ratio = surface_.devicePixelRatio();
        update(QRectF(QPointF(pixels.topLeft()) / ratio, QSizeF(pixels.size()) / ratio).toAlignedRect());
    });
}

PictureBox::~PictureBox() {
    surface_.setChangeHandler(nullptr);
    if (watched_) watched_->removeEventFilter(this);
}

QSize PictureBox::sizeHint() const { return QSize(logicalPixels(surface_.width()), logicalPixels(surface_.height())); }

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (surface_.devicePixelRatio() != devicePixelRatioF()) {
        // The ratio changed under us; show what there is and rebuild after this paint.
        QTimer::singleShot(0, this, &PictureBox::syncRatio);
    }
    const QRect r = event->rect();
    const QRectF fromImage(QPointF(r.topLeft()) * surface_.devicePixelRatio(),
                           QSizeF(r.size()) * surface_.devicePixelRatio());
    p.drawImage(QRectF(r), surface_.image(), fromImage);
    // Outside the image (a box not a whole number of pixels): the background.
    const QRect img(QPoint(0, 0), (QSizeF(surface_.image().size()) / surface_.devicePixelRatio()).toSize());
    const QRegion rest = QRegion(r).subtracted(img);
    for (const QRect& part : rest) p.fillRect(part, QColor(ImageSurface::toQRgb(surface_.backColor())));
}

void PictureBox::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    watchWindow();
    syncRatio();
    // A box shown inside a window that is already on screen gets no expose of
    // its own; a top-level window's first show is raised by its expose.
    if (!event->spontaneous() && exposedOnScreen()) schedulePaint();
}

bool PictureBox::event(QEvent* event) {
    if (event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::ParentChange) {
        watchWindow();
        syncRatio();
    }
    return QWidget::event(event);
}

bool PictureBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watched_ && event->type() == QEvent::Expose && isVisible()) {
        const auto* expose = static_cast<const QExposeEvent*>(event);
        // Qt sends an expose with an empty region when the window is hidden.
        const QRect mine(mapTo(window(), QPoint(0, 0)), size());
        if (watched_->isExposed() && exposedRegion(expose).intersects(mine)) schedulePaint();
    }
    return QWidget::eventFilter(watched, event);
}

void PictureBox::watchWindow() {
    QWindow* handle = window()->windowHandle();
    if (handle == watched_) return;
    if (watched_) watched_->removeEventFilter(this);
    watched_ = handle;
    if (watched_) watched_->installEventFilter(this);
}

bool PictureBox::exposedOnScreen() const { return isVisible() && watched_ && watched_->isExposed(); }

void PictureBox::syncRatio() {
    const qreal ratio = devicePixelRatioF();
    if (ratio == surface_.devicePixelRatio()) return;
    surface_.setDevicePixelRatio(ratio);
    // The graticule was carried over enlarged; let the program draw it sharp.
    if (exposedOnScreen()) schedulePaint();
}

void PictureBox::schedulePaint() {
    // Some platforms expose a newly mapped window twice in a row; one Paint
    // event serves them all. It runs from the event loop, not from inside
    // Qt's expose handling.
    if (paintPending_) return;
    paintPending_ = true;
    QTimer::singleShot(0, this, [this] {
        paintPending_ = false;
        syncRatio();
        if (exposedOnScreen()) raisePaint();
    });
}

void PictureBox::raisePaint() {
    ++raised_;
    if (onPaint) onPaint();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onLeftPress && onLeftPress(event->position())) return;
    if (event->button() == Qt::LeftButton && onLeftClick && width() > 0)
        onLeftClick(std::clamp(event->position().x() / width(), 0.0, 1.0));
    QWidget::mousePressEvent(event);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (onPointerMoved) onPointerMoved(event->position());
    QWidget::mouseMoveEvent(event);
}

void PictureBox::leaveEvent(QEvent* event) {
    if (onPointerLeft) onPointerLeft();
    QWidget::leaveEvent(event);
}

}  // namespace qv7m
