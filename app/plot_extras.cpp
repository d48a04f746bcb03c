// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot_extras.h"

#include "app/picturebox.h"
#include "app/signal_list.h"
#include "core/numeric.h"
#include "core/runtime_error.h"
#include "display/levels.h"
#include "files/preferences.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

namespace qv7m {

namespace {
const QColor kMaxColour(255, 210, 0);
const QColor kMinColour(0, 170, 255);
const QColor kPeakColour(255, 255, 255);
const QColor kSpotColour(255, 170, 60);
const QColor kSpotMarkColour(255, 170, 60, 110);
constexpr int kSpotRows = 3;
constexpr int kStripPixels = 12;  // the band plan's strip along the top
constexpr int kMaxPeaks = 8;

// Twips to the layer's pixels, as the plot's own drawing lands them.
int px(double twips) { return int(std::floor(twips / 15.0)); }

QString kHzText(double units) { return QString::number(units / 100.0, 'f', 2); }

QString strengthText(double reading) {
    return QStringLiteral("%1  %2 dB").arg(sUnits(reading), QString::asprintf("%+ld", std::lround(dbOverS9(reading))));
}
}  // namespace

// ---------------------------------------------------------------- the layer

PlotLayer::PlotLayer(PlotExtras& extras, QWidget* plot) : QWidget(plot), extras_(extras) {
    setObjectName(QStringLiteral("plotLayer"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(plot->rect());
}

void PlotLayer::paintEvent(QPaintEvent* event) {
    const std::optional<SweepWindow>& window = extras_.window();
    if (!window) return;
    QPainter p(this);
    const double height = extras_.plotHeightTwips();
    const double column = 2 * extras_.halfColumn();
    // Only the columns the repaint covers, and one either side for the risers.
    const QRect area = event->rect();
    const int first = std::max(0, int(std::floor(area.left() * 15.0 / std::max(column, 1e-9))) - 1);
    const int last =
        std::min(extras_.stepCount() - 1, int(std::ceil((area.right() + 1) * 15.0 / std::max(column, 1e-9))) + 1);

    const auto drawHold = [&](const QColor& colour, auto heldAt) {
        p.setPen(colour);
        constexpr int kNone = INT_MIN;  // no hold in the column before
        int before = kNone;
        for (int k = first; k <= last; ++k) {
            const std::optional<int16_t> held = heldAt(extras_.stepUnits(k));
            if (!held) {
                before = kNone;
                continue;
            }
            const int x0 = px(extras_.columnX(k) - extras_.halfColumn());
            const int x1 = std::max(x0, px(extras_.columnX(k) + extras_.halfColumn()) - 1);
            const int y = px(height - 10.0 * *held);
            if (before != kNone && before != y) p.drawLine(x0, before, x0, y);
            p.drawLine(x0, y, x1, y);
            before = y;
        }
    };
    const TraceMemory& memory = extras_.memory();
    if (extras_.minHold()) drawHold(kMinColour, [&](int32_t units) { return memory.minAt(units); });
    if (extras_.maxHold()) drawHold(kMaxColour, [&](int32_t units) { return memory.maxAt(units); });

    for (const PeakMark& mark : extras_.peakMarks()) {
        p.setPen(Qt::NoPen);
        p.setBrush(kPeakColour);
        const QPoint tip = mark.tip;
        p.drawPolygon(QPolygon{tip, tip + QPoint(-4, -6), tip + QPoint(4, -6)});
        if (mark.label.isEmpty()) continue;
        p.setPen(kPeakColour);
        p.drawText(mark.labelRect, Qt::AlignCenter, mark.label);
    }

    for (const SpotLabel& label : extras_.spotLabels()) {
        if (label.count == 0) {
            p.setPen(kSpotMarkColour);
            p.drawLine(label.markX, label.box.bottom() + 1, label.markX, height / 15);
        }
        p.setPen(kSpotColour);
        p.drawText(label.box, Qt::AlignCenter, label.text);
    }

    const BandPlan& plan = extras_.bandPlan();
    if (extras_.bandPlanChoice() == 0 || plan.segments.empty()) return;
    const double lowHz = window->low * 10;
    const double highHz = (window->low + window->span) * 10;
    const double perHz = width() / (highHz - lowHz);
    for (const BandSegment& s : plan.segments) {
        if (s.highHz <= lowHz || s.lowHz >= highHz) continue;
        const int x0 = std::max(0, int(std::floor((s.lowHz - lowHz) * perHz)));
        const int x1 = std::min(width(), int(std::ceil((s.highHz - lowHz) * perHz)));
        const QRect box(x0, 0, std::max(1, x1 - x0), kStripPixels);
        const QColor colour = QColor::fromRgba(s.colour);
        p.fillRect(box, colour);
        if (p.fontMetrics().horizontalAdvance(s.name) + 4 > box.width()) continue;
        p.setPen(colour.lightness() > 140 ? Qt::black : Qt::white);
        p.drawText(box, Qt::AlignCenter, s.name);
    }
}

// ---------------------------------------------------------------- the extras

PlotExtras::PlotExtras(PictureBox* plot, QWidget* window)
    : QObject(window), plot_(plot), owner_(window), layer_(new PlotLayer(*this, plot)), readout_(new QLabel(plot)) {
    layer_->hide();
    QFont small = plot->font();
    small.setPointSizeF(7.5);
    layer_->setFont(small);
    readout_->setObjectName(QStringLiteral("plotReadout"));
    readout_->setAttribute(Qt::WA_TransparentForMouseEvents);
    readout_->setFont(small);
    readout_->setStyleSheet(QStringLiteral("QLabel { background: rgba(0, 0, 0, 190); color: #e0e0e0; padding: 2px; }"));
    readout_->hide();
    plot->onPointerMoved = [this](QPointF at) { pointerMoved(at); };
    plot->onPointerLeft = [this] {
        pointer_.reset();
        readout_->hide();
    };
    // A click on a spot's call tunes to the spot, whatever click to tune says.
    plot->onLeftPress = [this](QPointF at) {
        const SpotLabel* label = spotLabelAt(spotLabels_, at.toPoint());
        if (!label) return false;
        if (tune) tune(int32_t(label->hz / 10));
        return true;
    };
}

PlotExtras::~PlotExtras() {
    // The list was made after this among the window's children: it goes first,
    // with the lookup that points here.
    delete signalList_;
    if (!plot_) return;
    plot_->onPointerMoved = nullptr;
    plot_->onPointerLeft = nullptr;
    plot_->onLeftPress = nullptr;
}

void PlotExtras::restoreChoices() {
    maxHold_ = preferences::readFlag(preferences::kMaxHold, false);
    minHold_ = preferences::readFlag(preferences::kMinHold, false);
    average_ = preferences::readFlag(preferences::kAverage, false);
    markPeaks_ = preferences::readFlag(preferences::kMarkPeaks, false);
    readoutOn_ = preferences::readFlag(preferences::kReadout, false);
    bandPlanChoice_ = preferences::readNumber(preferences::kBandPlan, 0, 0, 4);
    loadBandPlan();
    updateLayer();
}

void PlotExtras::addMenuItems(QMenu* menu) {
    const auto toggle = [&](const QString& text, bool on, void (PlotExtras::*set)(bool), const QString& key) {
        QAction* a = menu->addAction(text, this, [this, set, key](bool checked) {
            (this->*set)(checked);
            preferences::writeFlag(key, checked);
        });
        a->setCheckable(true);
        a->setChecked(on);
    };
    menu->addSeparator();
    toggle(QStringLiteral("Max hold"), maxHold_, &PlotExtras::setMaxHold, preferences::kMaxHold);
    toggle(QStringLiteral("Min hold"), minHold_, &PlotExtras::setMinHold, preferences::kMinHold);
    toggle(QStringLiteral("Average"), average_, &PlotExtras::setAverage, preferences::kAverage);
    menu->addAction(QStringLiteral("Clear holds"), this, [this] { clearHolds(); });
    menu->addSeparator();
    toggle(QStringLiteral("Mark peaks"), markPeaks_, &PlotExtras::setMarkPeaks, preferences::kMarkPeaks);
    toggle(QStringLiteral("Cursor readout"), readoutOn_, &PlotExtras::setReadout, preferences::kReadout);
    menu->addAction(QStringLiteral("Signals\u2026"), this, [this] { showSignals(); });
    QMenu* plans = menu->addMenu(QStringLiteral("Band plan"));
    auto* group = new QActionGroup(plans);
    const QString names[] = {QStringLiteral("None"), QStringLiteral("IARU Region 1"), QStringLiteral("IARU Region 2"),
                             QStringLiteral("IARU Region 3"), QStringLiteral("Own file (bandplan.csv)")};
    for (int i = 0; i < 5; ++i) {
        QAction* a = plans->addAction(names[i], this, [this, i] {
            chooseBandPlan(i);
            preferences::writeNumber(preferences::kBandPlan, i);
        });
        a->setCheckable(true);
        a->setChecked(i == bandPlanChoice_);
        group->addAction(a);
    }
}

// ---------------------------------------------------------------- the sweep

void PlotExtras::windowChosen(const SweepWindow& window) {
    // Another step or width, or a window apart from the last: the signals
    // listed belong to another band.
    const std::optional<SweepWindow>& before = lastWindow_;
    if (signalList_ && before &&
        (window.step != before->step || window.span != before->span ||
         std::abs(window.low - before->low) >= window.span))
        signalList_->clear();
    lastWindow_ = window;
    window_ = window;
    firstStep_ = toInt32(window.low);
    memory_.setWindow(window.step, window.span, window.low + window.span / 2);
    placePeaks();
    placeSpots();
    updateLayer();
    layer_->update();
}

int16_t PlotExtras::drawnReading(const PlotPoint& point) {
    const double mean = memory_.add(point.units, point.reading);
    drawnBefore_ = drawnNow_;
    drawnNow_ = average_ ? int16_t(std::lround(mean)) : point.reading;
    return drawnNow_;
}

double PlotExtras::previousDrawn(const PlotPoint& point) const { return average_ ? drawnBefore_ : point.prevMeter; }

void PlotExtras::pointsDrawn(double x0, double x1) {
    if (pointer_) pointerMoved(*pointer_);
    if (!(maxHold_ || minHold_) || !layer_->isVisible()) return;
    // The holds' risers reach into the columns either side.
    const double column = 2 * halfColumn();
    layer_->update(QRect(QPoint(px(x0 - column), 0), QPoint(px(x1 + column) + 1, layer_->height())));
}

void PlotExtras::sweepCompleted(const SweepResult& sweep) {
    lastSweep_ = sweep;
    if (markPeaks_) {
        findLastPeaks();
        placePeaks();
        layer_->update();
    }
    if (signalList_) feedSignals();
}

void PlotExtras::windowCleared() {
    window_.reset();
    marks_.clear();
    spotLabels_.clear();
    readout_->hide();
    updateLayer();
}

// ---------------------------------------------------------------- the window's steps

int PlotExtras::stepCount() const {
    if (!window_ || window_->step <= 0) return 0;
    const double last = toInt32(window_->low + window_->span);
    return int(std::floor((last - firstStep_) / window_->step)) + 1;
}

int32_t PlotExtras::stepUnits(int k) const { return int32_t(firstStep_ + int64_t(k) * window_->step); }

double PlotExtras::columnX(int k) const { return k * 2 * halfColumn(); }

double PlotExtras::halfColumn() const {
    if (!window_ || window_->span == 0) return 0;
    return plotWidthTwips() / (window_->span / window_->step) / 2;
}

double PlotExtras::plotWidthTwips() const { return plot_->surface().width(); }
double PlotExtras::plotHeightTwips() const { return plot_->surface().height(); }

// ---------------------------------------------------------------- the choices

void PlotExtras::setMaxHold(bool on) {
    if (on && !maxHold_ && !minHold_) memory_.clearHolds();
    maxHold_ = on;
    updateLayer();
}

void PlotExtras::setMinHold(bool on) {
    if (on && !maxHold_ && !minHold_) memory_.clearHolds();
    minHold_ = on;
    updateLayer();
}

void PlotExtras::setAverage(bool on) { average_ = on; }

void PlotExtras::setMarkPeaks(bool on) {
    markPeaks_ = on;
    if (on) findLastPeaks();
    placePeaks();
    updateLayer();
}

void PlotExtras::setReadout(bool on) {
    readoutOn_ = on;
    if (!on) readout_->hide();
}

void PlotExtras::clearHolds() {
    memory_.clearHolds();
    layer_->update();
}

void PlotExtras::chooseBandPlan(int choice) {
    bandPlanChoice_ = choice;
    loadBandPlan();
    updateLayer();
}

void PlotExtras::loadBandPlan() {
    bandPlan_ = {};
    if (bandPlanChoice_ == 0) return;
    const QString path = bandPlanChoice_ == 4 ? ownBandPlanPath() : bandPlanResource(bandPlanChoice_);
    try {
        bandPlan_ = qv7m::loadBandPlan(path);
    } catch (const RuntimeError& e) {
        if (report) report(QStringLiteral("Cannot load the band plan ") + e.message());
        return;
    }
    // A bad line is told once, when the file is loaded; the rest of it is used.
    if (bandPlan_.skippedLines > 0 && report)
        report(QStringLiteral("Band plan %1: line %2 cannot be read (%3 lines skipped)")
                   .arg(QFileInfo(path).fileName())
                   .arg(bandPlan_.firstSkippedLine)
                   .arg(bandPlan_.skippedLines));
}

void PlotExtras::updateLayer() {
    const bool shown = window_ && (maxHold_ || minHold_ || !marks_.empty() || !spotLabels_.empty() ||
                                   (bandPlanChoice_ != 0 && !bandPlan_.segments.empty()));
    // Hidden, the layer costs nothing at all while the trace is drawn.
    if (shown != layer_->isVisible()) layer_->setVisible(shown);
    if (shown) layer_->update();
}

// ---------------------------------------------------------------- peaks and signals

void PlotExtras::lastSweepInHz(std::vector<qint64>& hz, std::vector<double>& readings) const {
    for (size_t i = 0; i < lastSweep_.frequencies.size(); ++i) {
        hz.push_back(qint64(lastSweep_.frequencies[i]) * 10);
        readings.push_back(lastSweep_.readings[i]);
    }
}

void PlotExtras::findLastPeaks() {
    std::vector<qint64> hz;
    std::vector<double> readings;
    lastSweepInHz(hz, readings);
    peaks_ = findPeaks(hz, readings, kMaxPeaks);
}

void PlotExtras::placePeaks() {
    marks_.clear();
    if (!markPeaks_ || !window_ || window_->step <= 0) return;
    const QFontMetrics metrics(layer_->font());
    std::vector<QRect> taken;
    // Strongest first: a weaker peak's label gives way.
    for (const Peak& peak : peaks_) {
        const double k = std::round((peak.hz / 10.0 - firstStep_) / window_->step);
        if (k < 0 || k >= stepCount()) continue;
        PeakMark mark;
        mark.tip =
            QPoint(px(columnX(int(k))), std::max(kStripPixels + 8, px(plotHeightTwips() - 10 * peak.reading) - 2));
        const QString text = kHzText(peak.hz / 10.0);
        QRect box = metrics.boundingRect(text).adjusted(-1, 0, 1, 0);
        box.moveCenter(QPoint(mark.tip.x(), 0));
        box.moveBottom(mark.tip.y() - 7);
        // Stacked upwards, then downwards, where another label is in the way.
        const QRect first = box;
        for (int tries = 0; tries < 6; ++tries) {
            const bool free =
                box.top() >= kStripPixels && box.left() >= 0 && box.right() < layer_->width() &&
                box.bottom() < layer_->height() &&
                std::none_of(taken.begin(), taken.end(), [&](const QRect& r) { return r.intersects(box); });
            if (free) break;
            box = first.translated(0, (tries < 3 ? -1 : 1) * (tries % 3 + 1) * box.height());
            if (tries == 5) box = QRect();
        }
        if (!box.isNull()) {
            mark.label = text;
            mark.labelRect = box;
            taken.push_back(box);
        }
        marks_.push_back(mark);
    }
}

void PlotExtras::setSpots(std::vector<SpotToPlace> spots) {
    spots_ = std::move(spots);
    placeSpots();
    updateLayer();
}

void PlotExtras::placeSpots() {
    spotLabels_.clear();
    if (!window_ || spots_.empty()) return;
    // Below the band plan's strip; the peaks' labels stand lower, over their tops.
    spotLabels_ = placeSpotLabels(spots_, window_->low * 10, (window_->low + window_->span) * 10, layer_->width(),
                                  QFontMetrics(layer_->font()), kStripPixels + 1, kSpotRows);
}

void PlotExtras::spotsChanged() {
    if (signalList_) signalList_->spotsChanged();
}

void PlotExtras::showSignals() {
    if (!signalList_) {
        signalList_ = new SignalListWindow(owner_);
        signalList_->setSpotLookup([this](qint64 hz) { return spotAt ? spotAt(hz) : QString(); });
        signalList_->setAttribute(Qt::WA_DeleteOnClose);
        connect(signalList_, &SignalListWindow::tuneRequested, this, [this](qint64 hz) {
            if (tune) tune(int32_t(hz / 10));
        });
        feedSignals();
    }
    signalList_->show();
    signalList_->raise();
    signalList_->activateWindow();
}

void PlotExtras::feedSignals() {
    if (lastSweep_.frequencies.empty()) return;
    std::vector<qint64> hz;
    std::vector<double> readings;
    lastSweepInHz(hz, readings);
    signalList_->addSweep(lastSweep_.started.toUTC(), qint64(lastSweep_.stepUnits) * 10, hz, readings);
}

// ---------------------------------------------------------------- the readout

void PlotExtras::pointerMoved(QPointF at) {
    pointer_ = at;
    if (!readoutOn_ || !window_ || window_->step <= 0 || plot_->width() <= 0) {
        readout_->hide();
        return;
    }
    // The step under the pointer, as a click there would tune it.
    const double share = std::clamp(at.x() / plot_->width(), 0.0, 1.0);
    const double offset = std::round(share * window_->span / window_->step) * window_->step;
    const double units = std::round(window_->low + offset);
    QStringList lines;
    lines << QStringLiteral("%1 kHz").arg(kHzText(units));
    const std::optional<int16_t> latest = memory_.latestAt(int32_t(units));
    lines << (latest ? strengthText(*latest) : QStringLiteral("no reading"));
    if (maxHold_) {
        if (const std::optional<int16_t> held = memory_.maxAt(int32_t(units)))
            lines << QStringLiteral("max %1").arg(strengthText(*held));
    }
    const double fromCentre = units - (window_->low + window_->span / 2);
    lines << QStringLiteral("%1%2 kHz")
                 .arg(fromCentre < 0 ? QStringLiteral("-") : QStringLiteral("+"))
                 .arg(kHzText(std::abs(fromCentre)));
    if (bandPlanChoice_ != 0) {
        if (const BandSegment* s = segmentAt(bandPlan_, qint64(units) * 10)) lines << s->name;
    }
    readout_->setText(lines.join(QLatin1Char('\n')));
    readout_->adjustSize();
    readout_->move(plot_->width() - readout_->width() - 3, kStripPixels + 2);
    readout_->show();
}

}  // namespace qv7m
