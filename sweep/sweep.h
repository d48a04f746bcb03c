#pragma once
// The scan: "Start scan" reads the radio's frequency, then sweeps VFO-B
// across a window around it, step by step, reading the meter and drawing each
// point, sweep after sweep, until "Setup" asks it to stop.

#include "display/surface.h"
#include "radio/radiolink.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace qv7m {

// What the scan needs from the window. It never sees a widget.
class SweepHost {
public:
    virtual ~SweepHost() = default;
    virtual QString stepText() const = 0;    // the step list's text, in Hz
    virtual int16_t styleIndex() const = 0;  // 0 area, 1 line, 2 waterfall
    virtual bool holding() const = 0;        // "Hold scan" is ticked
    virtual double spanUnits() const = 0;    // the displayed width in 10 Hz units
    // The scan has read the radio's frequency and runs from now on.
    virtual void scanStarted() = 0;
    virtual void showWindow(const QString& low, const QString& centre, const QString& high) = 0;
    virtual void showTuning(const QString& frequency) = 0;
    virtual void setSmeterWidth(double twips) = 0;
    virtual DrawingSurface& plot() = 0;
    // Runs all pending window events. Throws when the program has ended
    // meanwhile ("Quit" or the window closed), so that the scan unwinds at once.
    virtual void yieldToWindow() = 0;
    // Between two steps, with the link open and no answer owed: the one
    // place where others may use the radio while a scan runs.
    virtual void betweenSteps() {}
};

// A completed sweep: every step's frequency in 10 Hz units and its reading.
struct SweepResult {
    QDateTime started;
    int32_t stepUnits = 0;
    std::vector<int32_t> frequencies;
    std::vector<int16_t> readings;
};

class Sweep {
public:
    Sweep(RadioLink& link, SweepHost& host);

    // Runs until the scan is stopped. A second call while one runs returns at once.
    void run();
    bool running() const { return running_; }
    // The scan ends at its next step, sending nothing more.
    void requestStop() { stopRequested_ = true; }
    // The trace colour starts over, as when the window is first loaded.
    void resetShade() { shade_ = 220; }
    int16_t shade() const { return shade_; }

    // The window of the sweep in progress, 10 Hz units: its low edge, its
    // width and its step (0 before the first sweep).
    double windowLow() const { return windowLow_; }
    double windowSpan() const { return windowSpan_; }
    int32_t windowStep() const { return windowStep_; }

    long long stepsDrawn() const { return stepsDrawn_; }
    long long sweepsStarted() const { return sweepsStarted_; }
    // Told of every point drawn: the frequency tuned (10 Hz units) and the reading drawn.
    std::function<void(int32_t units, int16_t reading)> onPoint;
    // Told of every sweep that ran to its end.
    std::function<void(const SweepResult&)> onSweepDone;

    // Decimal digits of a count of 10 Hz followed by "0 Hz": 1425000 -> "14250000 Hz".
    static QString hertzText(double units);

private:
    // False when the scan was stopped within the sweep.
    bool oneSweep();

    RadioLink& link_;
    SweepHost& host_;
    bool running_ = false;
    bool stopRequested_ = false;
    int16_t shade_ = 220;
    double windowLow_ = 0, windowSpan_ = 0;
    int32_t windowStep_ = 0;
    long long stepsDrawn_ = 0;
    long long sweepsStarted_ = 0;
};

}  // namespace qv7m
