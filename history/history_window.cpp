// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/history_window.h"

#include "core/runtime_error.h"
#include "display/levels.h"
#include "files/picture_file.h"
#include "files/preferences.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace qv7m {

namespace {

const QString kGeometryKey = QStringLiteral("history/geometry");
constexpr double kMinSpanHz = 10;
constexpr double kMaxSpanHz = 4e9;
constexpr double kZoomStep = 1.25;
// A mark lies on the row swept nearest its time, if one was this close: a
// long standard sweep of a wide window takes over a minute.
constexpr qint64 kMarkReachMs = 5 * 60 * 1000;

// Samples of the "inferno" map, weakest to strongest; its lightness rises
// throughout, so every step stays apart in a grey print.
constexpr std::array<std::array<int, 3>, 11> kStops = {{{0, 0, 4},
                                                        {22, 11, 57},
                                                        {66, 10, 104},
                                                        {106, 23, 110},
                                                        {147, 38, 103},
                                                        {188, 55, 84},
                                                        {221, 81, 58},
                                                        {243, 120, 25},
                                                        {252, 165, 10},
                                                        {246, 215, 70},
                                                        {252, 255, 164}}};

const std::array<QRgb, 256>& colourTable() {
    static const std::array<QRgb, 256> table = [] {
        std::array<QRgb, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double at = i / 255.0 * (kStops.size() - 1);
            const int k = std::min(int(at), int(kStops.size()) - 2);
            const double f = at - k;
            int c[3];
            for (int j = 0; j < 3; ++j) c[j] = int(std::lround(kStops[k][j] * (1 - f) + kStops[k + 1][j] * f));
            t[i] = qRgb(c[0], c[1], c[2]);
        }
        return t;
    }();
    return table;
}

QString kHzText(double hz, int decimals) { return QString::number(hz / 1000.0, 'f', decimals); }

// A step of 1, 2 or 5 times a power of ten, at least minStep.
double niceStep(double minStep) {
    const double power = std::pow(10.0, std::floor(std::log10(minStep)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= minStep) return m * power;
    return 10 * power;
}

}  // namespace

QRgb historyColour(double level) {
    if (!(level > 0)) return colourTable()[0];
    return colourTable()[std::min(255, int(std::lround(level * 255)))];
}

QRgb historyBlankColour(int x, qint64 serial) {
    return (x + serial) % 6 == 0 ? qRgb(0x70, 0x70, 0x70) : qRgb(0x98, 0x98, 0x98);
}

// The rows with their axes and legend. The rows are drawn into an image kept
// between repaints; new rows at the top shift it down and only they are drawn.
class HistoryCanvas : public QWidget, public HistoryPlacement {
public:
    explicit HistoryCanvas(HistoryWindow& window) : QWidget(&window), window_(window) {
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(320, 160);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    QRect plotRect() const {
        const QFontMetrics fm(font());
        const int left = fm.horizontalAdvance(QStringLiteral("00:00:00")) + 12;
        const int top = fm.height() + 8;
        const int right = fm.horizontalAdvance(QStringLiteral("+40dB")) + 34;
        const int bottom = fm.height() + 2;
        return QRect(left, top, std::max(1, width() - left - right), std::max(1, height() - top - bottom));
    }

    double hzPerPixel() const { return (window_.viewHighHz_ - window_.viewLowHz_) / plotRect().width(); }

    std::optional<QPointF> place(const QDateTime& utc, double hz) const override {
        const int row = window_.history_.rowNearestTime(utc.toMSecsSinceEpoch());
        // Nothing was swept near that time: no row stands for it.
        if (row >= 0 && std::abs(window_.history_.rowTimeMs(row) - utc.toMSecsSinceEpoch()) > kMarkReachMs)
            return std::nullopt;
        const QRect plot = plotRect();
        const int y = row - window_.topRow_;
        const double x = (hz - window_.viewLowHz_) / hzPerPixel();
        if (row < 0 || y < 0 || y >= plot.height() || !(x >= 0 && x < plot.width())) return std::nullopt;
        return QPointF(plot.left() + x, plot.top() + y + 0.5);
    }

    void invalidate() { cacheValid_ = false; }

protected:
    void paintEvent(QPaintEvent*) override {
        const QRect plot = plotRect();
        updateRows(plot.size());
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        p.drawImage(plot.topLeft(), rows_);
        if (window_.markPainter_) {
            p.save();
            p.setClipRect(plot);
            window_.markPainter_(p, *this);
            p.restore();
        }
        p.setPen(palette().windowText().color());
        p.drawRect(plot.adjusted(-1, -1, 0, 0));
        paintFrequencyAxis(p, plot);
        paintTimeAxis(p, plot);
        paintLegend(p, plot);
    }

    void resizeEvent(QResizeEvent*) override {
        window_.syncScrollBar();
        window_.viewChanged();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        const QPoint moved = at - dragFrom_;
        // A click that barely moves is not a drag, and leaves following alone.
        if (dragging_ && moved.manhattanLength() >= 3) {
            const double span = dragHighHz_ - dragLowHz_;
            const double shift = -moved.x() * span / plotRect().width();
            window_.userMoved();
            window_.viewLowHz_ = dragLowHz_ + shift;
            window_.viewHighHz_ = dragHighHz_ + shift;
            window_.scrollTo(dragTopRow_ - moved.y());
            window_.viewChanged();
        }
        window_.pointerAt(at);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        dragging_ = true;
        dragFrom_ = event->position().toPoint();
        dragLowHz_ = window_.viewLowHz_;
        dragHighHz_ = window_.viewHighHz_;
        dragTopRow_ = window_.topRow_;
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }
    void leaveEvent(QEvent*) override { window_.pointerAt(QPoint(-1, -1)); }

    void wheelEvent(QWheelEvent* event) override {
        const QPoint angle = event->angleDelta();
        const int delta = angle.y() != 0 ? angle.y() : angle.x();
        if (delta == 0) return;
        const double notches = delta / 120.0;
        window_.userMoved();
        if (event->modifiers() & Qt::ShiftModifier) {
            window_.scrollTo(window_.topRow_ - int(std::lround(notches * 10)));
        } else {
            const double x = event->position().x() - plotRect().left();
            window_.zoomBy(std::pow(kZoomStep, -notches), window_.viewLowHz_ + x * hzPerPixel());
        }
        window_.pointerAt(event->position().toPoint());
        event->accept();
    }

private:
    void updateRows(const QSize& size) {
        const BandHistory& h = window_.history_;
        const qint64 topSerial = h.appendedCount() - 1 - window_.topRow_;
        const auto range = window_.levelRange();
        const qint64 oldestHeld = h.appendedCount() - h.rowCount();
        const bool same = cacheValid_ && rows_.size() == size && cacheLowHz_ == window_.viewLowHz_ &&
                          cacheHighHz_ == window_.viewHighHz_ && cacheRange_ == range &&
                          oldestHeld <= cacheOldestDrawn_;
        if (same && topSerial == cacheTopSerial_) return;
        const qint64 added = topSerial - cacheTopSerial_;
        if (same && added > 0 && added < size.height()) {
            // Only newer rows came on top: the drawn ones move down.
            const int shift = int(added);
            const qsizetype line = rows_.bytesPerLine();
            uchar* bits = rows_.bits();
            std::memmove(bits + shift * line, bits, (size.height() - shift) * line);
            drawRows(0, shift);
            cacheOldestDrawn_ = std::max(cacheOldestDrawn_, topSerial - size.height() + 1);
        } else {
            if (rows_.size() != size) rows_ = QImage(size, QImage::Format_RGB32);
            drawRows(0, size.height());
            cacheOldestDrawn_ = std::max(oldestHeld, topSerial - size.height() + 1);
        }
        cacheValid_ = true;
        cacheTopSerial_ = topSerial;
        cacheLowHz_ = window_.viewLowHz_;
        cacheHighHz_ = window_.viewHighHz_;
        cacheRange_ = range;
    }

    void drawRows(int fromY, int toY) {
        const BandHistory& h = window_.history_;
        const int w = rows_.width();
        const double perPixel = hzPerPixel();
        const auto [low, high] = window_.levelRange();
        const double scale = high > low ? 1.0 / (high - low) : 1.0;
        std::vector<float> line(size_t(w), 0.0f);
        for (int y = fromY; y < toY; ++y) {
            auto* out = reinterpret_cast<QRgb*>(rows_.scanLine(y));
            const int row = window_.topRow_ + y;
            // The hatch goes with the rows, so that rows moved down match rows drawn afresh.
            const qint64 serial = h.appendedCount() - 1 - row + (qint64(1) << 40);
            if (row < h.rowCount()) h.sampleRow(row, window_.viewLowHz_, perPixel, line.data(), w);
            for (int x = 0; x < w; ++x) {
                const float v = row < h.rowCount() ? line[size_t(x)] : NAN;
                out[x] = std::isnan(v) ? historyBlankColour(x, serial) : historyColour((v - low) * scale);
            }
        }
    }

    void paintFrequencyAxis(QPainter& p, const QRect& plot) {
        const QFontMetrics fm(font());
        const double perPixel = hzPerPixel();
        const double step = niceStep(perPixel * (fm.horizontalAdvance(QStringLiteral("000000.000")) + 16));
        if (!(step > 0) || !std::isfinite(step)) return;
        const int decimals = std::clamp(int(std::ceil(3 - std::log10(step) - 1e-9)), 0, 3);
        for (double hz = std::ceil(window_.viewLowHz_ / step) * step; hz <= window_.viewHighHz_; hz += step) {
            const int x = plot.left() + int((hz - window_.viewLowHz_) / perPixel);
            p.drawLine(x, plot.top() - 5, x, plot.top() - 1);
            const QString text = kHzText(hz, decimals);
            const int tw = fm.horizontalAdvance(text);
            const int left = std::clamp(x - tw / 2, plot.left() - 8, width() - tw);
            p.drawText(left, plot.top() - 7 - fm.descent(), text);
        }
        p.drawText(2, fm.ascent() + 2, QStringLiteral("kHz"));
    }

    void paintTimeAxis(QPainter& p, const QRect& plot) {
        const BandHistory& h = window_.history_;
        const QFontMetrics fm(font());
        const int every = fm.height() * 3;
        for (int y = 0; y < plot.height(); y += every) {
            const int row = window_.topRow_ + y;
            if (row >= h.rowCount()) break;
            const QString text = h.rowTime(row).toString(QStringLiteral("HH:mm:ss"));
            const int py = plot.top() + y;
            p.drawLine(plot.left() - 5, py, plot.left() - 1, py);
            p.drawText(plot.left() - 7 - fm.horizontalAdvance(text), py + fm.ascent() / 2, text);
        }
        p.drawText(2, plot.bottom() + 2 + fm.ascent(), QStringLiteral("UTC"));
    }

    void paintLegend(QPainter& p, const QRect& plot) {
        const QFontMetrics fm(font());
        const QRect bar(plot.right() + 8, plot.top(), 14, plot.height());
        const auto [low, high] = window_.levelRange();
        for (int y = 0; y < bar.height(); ++y) {
            p.setPen(QColor(historyColour(1.0 - double(y) / std::max(1, bar.height() - 1))));
            p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
        }
        p.setPen(palette().windowText().color());
        p.drawRect(bar.adjusted(0, 0, -1, -1));
        const auto mark = [&](double value, const QString& text) {
            const int y = bar.bottom() - int((value - low) / (high - low) * (bar.height() - 1));
            p.drawLine(bar.right() + 1, y, bar.right() + 4, y);
            p.drawText(bar.right() + 6, std::clamp(y + fm.ascent() / 2, fm.ascent(), height() - 2), text);
        };
        if (window_.history_.unit() == HistoryUnit::Meter) {
            // The meter's scale, as on the plot's grid.
            for (int s = 1; s <= 9; s += 2) mark(s * kCountsPerGridLine, QStringLiteral("S%1").arg(s));
            mark(kS9Reading + 2 * kCountsPerGridLine, QStringLiteral("+20dB"));
            mark(kS9Reading + 4 * kCountsPerGridLine, QStringLiteral("+40dB"));
        } else {
            const double step = niceStep((high - low) * fm.height() * 2 / std::max(1, bar.height()));
            if (!(step > 0) || !std::isfinite(step)) return;
            for (double db = std::ceil(low / step) * step; db <= high + 1e-9; db += step)
                mark(db, QString::number(db) + QStringLiteral("dB"));
        }
    }

    HistoryWindow& window_;
    QImage rows_;
    bool cacheValid_ = false;
    qint64 cacheTopSerial_ = 0;
    qint64 cacheOldestDrawn_ = 0;  // rows older than this were not drawn as rows
    double cacheLowHz_ = 0;
    double cacheHighHz_ = 0;
    std::pair<double, double> cacheRange_;
    bool dragging_ = false;
    QPoint dragFrom_;
    double dragLowHz_ = 0;
    double dragHighHz_ = 0;
    int dragTopRow_ = 0;
};

HistoryWindow::HistoryWindow(BandHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), geometryKey_(kGeometryKey) {
    setWindowTitle(QStringLiteral("Band history"));
    canvas_ = new HistoryCanvas(*this);
    follow_ = new QCheckBox(QStringLiteral("Follow the scope"), this);
    follow_->setChecked(true);
    follow_->setFocusPolicy(Qt::TabFocus);
    save_ = new QPushButton(QStringLiteral("Save picture…"), this);
    save_->setFocusPolicy(Qt::TabFocus);
    readout_ = new QLabel(this);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    scroll_ = new QScrollBar(Qt::Vertical, this);
    scroll_->setFocusPolicy(Qt::NoFocus);

    auto* top = new QHBoxLayout;
    top->addWidget(follow_);
    top->addWidget(readout_, 1);
    top->addWidget(save_);
    auto* middle = new QHBoxLayout;
    middle->addWidget(canvas_, 1);
    middle->addWidget(scroll_);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(middle, 1);
    setFocusProxy(canvas_);
    resize(800, 500);

    connect(follow_, &QCheckBox::toggled, this, &HistoryWindow::setFollowing);
    connect(save_, &QPushButton::clicked, this, &HistoryWindow::savePictureAsked);
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        if (value == topRow_) return;
        userMoved();
        scrollTo(value);
    });
    followedView();
    syncScrollBar();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::historyChanged() {
    if (topSerial_ >= 0) {
        // Scrolled back: the same rows stay on show while newer ones come.
        topRow_ =
            int(std::clamp<qint64>(history_.appendedCount() - 1 - topSerial_, 0, std::max(0, history_.rowCount() - 1)));
        topSerial_ = history_.appendedCount() - 1 - topRow_;
    }
    if (following_ && !scopeSet_) followedView();
    syncScrollBar();
    // The row under a still pointer may have moved on.
    pointerAt(pointer_);
    canvas_->update();
}

void HistoryWindow::setScopeWindow(double lowHz, double highHz) {
    if (!std::isfinite(lowHz) || !std::isfinite(highHz) || highHz <= lowHz) return;
    scopeSet_ = true;
    scopeLowHz_ = lowHz;
    scopeHighHz_ = highHz;
    if (following_) {
        followedView();
        viewChanged();
    }
}

void HistoryWindow::setFollowing(bool follow) {
    if (follow == following_) return;
    following_ = follow;
    follow_->setChecked(follow);
    if (follow) {
        topRow_ = 0;
        topSerial_ = -1;
        followedView();
        viewChanged();
    }
}

void HistoryWindow::setFollowText(const QString& text) { follow_->setText(text); }

void HistoryWindow::setMarkPainter(MarkPainter painter) {
    markPainter_ = std::move(painter);
    canvas_->update();
}

void HistoryWindow::setDecibelRange(double lowDb, double highDb) {
    if (!std::isfinite(lowDb) || !std::isfinite(highDb) || highDb <= lowDb) return;
    decibelRange_ = std::make_pair(lowDb, highDb);
    canvas_->update();
}

std::pair<double, double> HistoryWindow::levelRange() const {
    if (history_.unit() == HistoryUnit::Meter) return {0.0, 255.0};
    if (decibelRange_) return *decibelRange_;
    const double lowest = history_.lowestValue();
    const double highest = history_.highestValue();
    if (std::isnan(lowest)) return {-100.0, 0.0};
    const double low = std::floor(lowest / 10) * 10;
    return {low, std::max(low + 10, std::ceil(highest / 10) * 10)};
}

void HistoryWindow::followedView() {
    if (scopeSet_) {
        viewLowHz_ = scopeLowHz_;
        viewHighHz_ = scopeHighHz_;
    } else if (history_.rowCount() > 0) {
        // Nothing tells the scope's window: show the newest row whole.
        const double step = history_.rowStepHz(0);
        viewLowHz_ = history_.rowLowHz(0) - step / 2;
        viewHighHz_ = viewLowHz_ + step * history_.rowSize(0);
    }
}

void HistoryWindow::userMoved() {
    if (following_) setFollowing(false);
}

void HistoryWindow::panBy(double fraction) {
    userMoved();
    const double shift = (viewHighHz_ - viewLowHz_) * fraction;
    viewLowHz_ += shift;
    viewHighHz_ += shift;
    viewChanged();
}

void HistoryWindow::zoomBy(double factor, double aroundHz) {
    userMoved();
    const double span = std::clamp((viewHighHz_ - viewLowHz_) * factor, kMinSpanHz, kMaxSpanHz);
    const double at = std::clamp((aroundHz - viewLowHz_) / (viewHighHz_ - viewLowHz_), 0.0, 1.0);
    viewLowHz_ = aroundHz - at * span;
    viewHighHz_ = viewLowHz_ + span;
    viewChanged();
}

void HistoryWindow::scrollTo(int topRow) {
    const int visible = canvas_->plotRect().height();
    topRow_ = std::clamp(topRow, 0, std::max(0, history_.rowCount() - visible));
    // At the top the newest row stays on show; further down the rows do.
    topSerial_ = topRow_ == 0 ? -1 : history_.appendedCount() - 1 - topRow_;
    syncScrollBar();
    canvas_->update();
}

void HistoryWindow::scrollBack(int rows) {
    userMoved();
    scrollTo(topRow_ + rows);
}

void HistoryWindow::viewChanged() {
    canvas_->invalidate();
    canvas_->update();
}

void HistoryWindow::syncScrollBar() {
    const int visible = canvas_->plotRect().height();
    const QSignalBlocker block(scroll_);
    scroll_->setRange(0, std::max(0, history_.rowCount() - visible));
    scroll_->setPageStep(visible);
    scroll_->setSingleStep(1);
    scroll_->setValue(topRow_);
}

void HistoryWindow::keyPressEvent(QKeyEvent* event) {
    const int page = std::max(1, canvas_->plotRect().height() - 10);
    const double middle = (viewLowHz_ + viewHighHz_) / 2;
    switch (event->key()) {
    case Qt::Key_Left: panBy(-0.1); break;
    case Qt::Key_Right: panBy(0.1); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomBy(1 / kZoomStep, middle); break;
    case Qt::Key_Minus: zoomBy(kZoomStep, middle); break;
    case Qt::Key_Up: scrollBack(-1); break;
    case Qt::Key_Down: scrollBack(1); break;
    case Qt::Key_PageUp: scrollBack(-page); break;
    case Qt::Key_PageDown: scrollBack(page); break;
    case Qt::Key_Home: scrollBack(-topRow_); break;
    case Qt::Key_End: scrollBack(history_.rowCount()); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

std::optional<QPoint> HistoryWindow::pointOf(int row, double hz) const {
    const QRect plot = canvas_->plotRect();
    const int y = row - topRow_;
    const double x = (hz - viewLowHz_) / canvas_->hzPerPixel();
    if (row < 0 || row >= history_.rowCount() || y >= plot.height() || y < 0) return std::nullopt;
    if (!(x >= 0 && x < plot.width())) return std::nullopt;
    return canvas_->mapTo(this, QPoint(plot.left() + int(x), plot.top() + y));
}

QString HistoryWindow::readingText(float value) const {
    if (history_.unit() == HistoryUnit::Decibel) return QString::number(value, 'f', 2) + QStringLiteral(" dB");
    return QStringLiteral("%1 (%2)").arg(sUnits(value)).arg(std::lround(value));
}

void HistoryWindow::pointerAt(const QPoint& canvasPoint) {
    pointer_ = canvasPoint;
    const QRect plot = canvas_->plotRect();
    const int row = topRow_ + canvasPoint.y() - plot.top();
    if (!plot.contains(canvasPoint) || row >= history_.rowCount()) {
        readout_->clear();
        return;
    }
    const double hz = viewLowHz_ + (canvasPoint.x() - plot.left() + 0.5) * canvas_->hzPerPixel();
    const auto value = history_.valueAt(row, hz);
    const QString time = history_.rowTime(row).toString(QStringLiteral("HH:mm:ss"));
    const QString reading = value ? readingText(*value) : QStringLiteral("no reading");
    readout_->setText(QStringLiteral("%1 UTC   %2 kHz   %3").arg(time, kHzText(hz, 3), reading));
}

QString HistoryWindow::readoutText() const { return readout_->text(); }

QImage HistoryWindow::picture() const { return canvas_->grab().toImage(); }

void HistoryWindow::savePictureTo(const QString& path) const { savePicture(path, picture()); }

void HistoryWindow::savePictureAsked() {
    // Not a modal dialog: a nested event loop would hold up the thread's other work.
    auto* dialog = new QFileDialog(this, QStringLiteral("Save picture"), QStringLiteral("band-history.png"),
                                   QStringLiteral("PNG pictures (*.png)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        try {
            savePictureTo(path);
        } catch (const RuntimeError& e) {
            auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), e.message(), QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    });
    dialog->open();
}

void HistoryWindow::saveGeometryNow() {
    if (!geometryKey_.isEmpty()) preferences::writeGeometry(geometryKey_, saveGeometry());
}

void HistoryWindow::showEvent(QShowEvent* event) {
    if (!geometryRestored_) {
        geometryRestored_ = true;
        const QByteArray saved = geometryKey_.isEmpty() ? QByteArray() : preferences::readGeometry(geometryKey_);
        if (!saved.isEmpty()) restoreGeometry(saved);
    }
    historyChanged();
    QWidget::showEvent(event);
}

void HistoryWindow::hideEvent(QHideEvent* event) {
    saveGeometryNow();
    QWidget::hideEvent(event);
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    saveGeometryNow();
    QWidget::closeEvent(event);
}

}  // namespace qv7m
