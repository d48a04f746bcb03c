// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the plot shows beyond the trace, each part off until the user turns it
// on from the plot's menu: max and min hold, the average, a cursor readout,
// the peaks of the last sweep, the band plan, and the signal list. The trace
// itself stays as the scan draws it; everything here lies over it in a
// layer of its own, so that a point drawn never wipes a mark.

#include "display/peaks.h"
#include "display/spot_labels.h"
#include "display/trace_memory.h"
#include "files/band_plan.h"
#include "sweep/sweep.h"

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QMenu;

namespace qv7m {

class PictureBox;
class PlotExtras;
class SignalListWindow;

// A peak's mark: the triangle's tip and, where it fits, its label.
struct PeakMark {
    QPoint tip;
    QString label;
    QRect labelRect;
};

// The layer over the plot: holds, peak marks, the band plan's strip. It takes
// no mouse events; the plot under it does.
class PlotLayer : public QWidget {
public:
    PlotLayer(PlotExtras& extras, QWidget* plot);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PlotExtras& extras_;
};

class PlotExtras : public QObject {
public:
    PlotExtras(PictureBox* plot, QWidget* window);
    ~PlotExtras() override;

    // Takes the choices remembered from the last run.
    void restoreChoices();
    // Adds the extras' items to the plot's menu.
    void addMenuItems(QMenu* menu);

    // A sweep's window is shown.
    void windowChosen(const SweepWindow& window);
    // The reading the trace draws for this point: the average when that is
    // on, else the point's own. Every point passes here, in order.
    int16_t drawnReading(const PlotPoint& point);
    // The reading drawn for the point before, for the line graph.
    double previousDrawn(const PlotPoint& point) const;
    // The points from x0 to x1 (twips) were drawn.
    void pointsDrawn(double x0, double x1);
    void sweepCompleted(const SweepResult& sweep);
    // "Setup" or a failure put the window back: nothing is marked.
    void windowCleared();

    // The spots inside the window shown (any order), drawn as call-sign labels.
    void setSpots(std::vector<SpotToPlace> spots);
    const std::vector<SpotLabel>& spotLabels() const { return spotLabels_; }
    // The call a cluster spotted near a frequency, for the signal list.
    std::function<QString(qint64 hz)> spotAt;
    // The spots changed: the signal list's spot column follows.
    void spotsChanged();

    // Tunes VFO-A (10 Hz units), as a click on the plot does.
    std::function<void(int32_t units)> tune;

    // For the layer and the tests.
    bool maxHold() const { return maxHold_; }
    bool minHold() const { return minHold_; }
    bool average() const { return average_; }
    bool markPeaks() const { return markPeaks_; }
    bool readout() const { return readoutOn_; }
    int bandPlanChoice() const { return bandPlanChoice_; }
    const TraceMemory& memory() const { return memory_; }
    const BandPlan& bandPlan() const { return bandPlan_; }
    const std::vector<Peak>& peaks() const { return peaks_; }
    const std::vector<PeakMark>& peakMarks() const { return marks_; }
    // The window shown, or none since "Setup".
    const std::optional<SweepWindow>& window() const { return window_; }
    // The frequency of step k of the window shown (10 Hz units), and its
    // column's centre and half width in twips.
    int32_t stepUnits(int k) const;
    double columnX(int k) const;
    double halfColumn() const;
    int stepCount() const;
    double plotWidthTwips() const;
    double plotHeightTwips() const;
    // The band plan's message when its file had bad lines or could not be read.
    std::function<void(const QString&)> report;

    void setMaxHold(bool on);
    void setMinHold(bool on);
    void setAverage(bool on);
    void setMarkPeaks(bool on);
    void setReadout(bool on);
    // 0 none, 1 to 3 an IARU region's plan, 4 the user's own file.
    void chooseBandPlan(int choice);
    void clearHolds();
    void showSignals();

private:
    void pointerMoved(QPointF at);
    void updateLayer();
    void loadBandPlan();
    void lastSweepInHz(std::vector<qint64>& hz, std::vector<double>& readings) const;
    void findLastPeaks();
    void placePeaks();
    void feedSignals();
    void placeSpots();

    // The plot goes before this among the window's children.
    QPointer<PictureBox> plot_;
    QWidget* owner_;
    PlotLayer* layer_;
    QLabel* readout_;
    QPointer<SignalListWindow> signalList_;

    TraceMemory memory_;
    std::optional<SweepWindow> window_;
    std::optional<SweepWindow> lastWindow_;  // kept through "Setup", for the signal list
    int32_t firstStep_ = 0;                  // the first step's frequency, as the scan rounds it
    int16_t drawnBefore_ = 0;
    int16_t drawnNow_ = 0;
    SweepResult lastSweep_;
    std::vector<Peak> peaks_;
    std::vector<PeakMark> marks_;
    std::vector<SpotToPlace> spots_;
    std::vector<SpotLabel> spotLabels_;
    BandPlan bandPlan_;
    std::optional<QPointF> pointer_;

    bool maxHold_ = false;
    bool minHold_ = false;
    bool average_ = false;
    bool markPeaks_ = false;
    bool readoutOn_ = false;
    int bandPlanChoice_ = 0;
};

}  // namespace qv7m
