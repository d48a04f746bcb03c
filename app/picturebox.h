// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture box: a widget that shows the backing image of its drawing
// surface and raises the program's Paint event when the box has to be
// repainted because the window was first shown or uncovered.
//
// Drawing goes into surface(), in twips, whenever the program draws; the
// widget's paint handler only copies the image to the screen, so the trace
// stays across a minimise or a covering window. The image is kept in device
// pixels at the widget's device pixel ratio (sharp on high-density screens)
// and rebuilt when the ratio changes.

#include "display/imagesurface.h"

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <functional>

class QWindow;

namespace qv7m {

class PictureBox : public QWidget {
    Q_OBJECT

public:
    // A box of the given size in twips (15 to a pixel), fixed at that size.
    PictureBox(double widthTwips, double heightTwips, OleColor backColor, OleColor foreColor, const QFont& font,
               QWidget* parent = nullptr);
    ~PictureBox() override;

    ImageSurface& surface() { return surface_; }
    const ImageSurface& surface() const { return surface_; }

    // The box's Paint event: raised when the box is first shown and when it
    // is exposed again after the window was minimised or covered, and when
    // the device pixel ratio changed; never for the repaints that follow the
    // program's own drawing. It runs inside Qt's event handling, so it must
    // not throw: wrap it in the form's error boundary.
    std::function<void()> onPaint;
    // A left click, at this share of the box's width (0 at the left edge).
    std::function<void(double share)> onLeftClick;
    // Asked first about a left click (widget pixels): true when it was a
    // click on something drawn over the box, which then takes it.
    std::function<bool(QPointF at)> onLeftPress;

    // The pointer moved over the box (widget pixels), or left it.
    std::function<void(QPointF at)> onPointerMoved;
    std::function<void()> onPointerLeft;

    // How often onPaint was raised (for tests and diagnostics).
    int paintEventsRaised() const { return raised_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow();
    void syncRatio();
    void schedulePaint();
    void raisePaint();
    bool exposedOnScreen() const;

    ImageSurface surface_;
    QPointer<QWindow> watched_;
    int raised_ = 0;
    bool paintPending_ = false;
};

}  // namespace qv7m
