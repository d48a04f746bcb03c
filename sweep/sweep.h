#pragma once
// The scan: "Start scan" reads the radio's frequency, then sweeps VFO-B
// across a window around it, step by step, reading the meter and drawing each
// point, sweep after sweep, until "Setup" asks it to stop.

#include "display/surface.h"
#include "radio/radiolink.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace qv7m {

// What the scan needs from the window. It never sees a widget.
class SweepHost {
public:
    enum class Control { style, starten, setup, stopscan, comport, dis, step };
    enum class Label { links, mitte, rechts, info };

    virtual ~SweepHost() = default;
    virtual QString stepText() const = 0;     // step.Text
    virtual int16_t styleIndex() const = 0;   // style.ListIndex
    virtual int16_t holdValue() const = 0;    // stopscan.Value: 0 or 1
    virtual double spanUnits() const = 0;     // set by the graticule from the width list
    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setCaption(Label label, const QString& text) = 0;
    virtual void setSmeterWidth(double twips) = 0;
    virtual DrawingSurface& picture1() = 0;
    // Runs all pending window events. Throws when the program has ended
    // meanwhile ("Quit" or the window closed), so that the scan unwinds at once.
    virtual void doEvents() = 0;
};

class Sweep {
public:
    Sweep(RadioLink& link, SweepHost& host);

    // Runs until the scan is stopped. A second call while one runs returns at once.
    void starten_Click();
    bool running() const { return running_; }

    // Module state shared with the form.
    int16_t stopRequested = 0;
    int16_t startX = 0;
    int16_t shade = 220;

    // The current window (10 Hz units).
    double stepUnits = 0;
    double sweepLow = 0;
    double sweepHigh = 0;
    int32_t sweepCenter = 0;
    double halfColumn = 0;

    // Counts for benchmarks and tests.
    long long fullSteps = 0;
    long long sweepsStarted = 0;
    // Told of every point drawn: the frequency tuned and the reading drawn.
    std::function<void(int32_t frequency, int16_t meter)> onPoint;

    // Decimal digits of a count of 10 Hz followed by "0 Hz": 1425000 -> "14250000 Hz".
    static QString hertzText(double units);

private:
    void oneSweep();

    RadioLink& link_;
    SweepHost& host_;
    bool running_ = false;
};

}  // namespace qv7m
