#include "sweep/sweep.h"

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "display/trace.h"

#include <cmath>

namespace qv7m {

namespace {

double divide(double a, double b) {
    if (b == 0.0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero, QStringLiteral("Division by zero in the sweep window"));
    return a / b;
}

// Marks the scan as running for as long as the handler runs, however it ends.
struct RunningFlag {
    explicit RunningFlag(bool& f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
    bool& flag;
};

}  // namespace

Sweep::Sweep(RadioLink& link, SweepHost& host) : link_(link), host_(host) {}

QString Sweep::hertzText(double units) {
    QString digits;
    if (units == std::floor(units) && std::fabs(units) < 1e15)
        digits = QString::number(static_cast<long long>(units));
    else
        digits = QString::number(units, 'g', 15);
    return digits + QStringLiteral("0 Hz");
}

void Sweep::run() {
    // The start's status read yields to the event queue while "Start scan" is
    // still enabled; a second click arriving there must not start a scan
    // inside this one.
    if (running_) return;
    RunningFlag flag(running_);
    link_.open();
    link_.sendScanStart();
    link_.readStatus();
    link_.close();
    host_.scanStarted();
    stopRequested_ = false;
    while (oneSweep()) {
    }
}

bool Sweep::oneSweep() {
    ++sweepsStarted_;
    SweepResult result;
    result.started = QDateTime::currentDateTime();
    link_.open();
    const int32_t centre = link_.readStatus();
    double prevX = 0;
    double plotX = 0;
    const double stepUnits = intPart(toDouble(host_.stepText())) / 10.0;
    const double span = host_.spanUnits();
    const double low = centre - span / 2;
    const double high = centre + span / 2;
    const double halfColumn = host_.plot().width() / divide(span, stepUnits) / 2;
    host_.showWindow(hertzText(low), hertzText(centre), hertzText(high));
    shade_ = shade_ == 220 ? 140 : 220;
    // The bounds are taken once, in this order, rounded to 32-bit integers.
    const int32_t end = toInt32(high);
    const int32_t step = toInt32(stepUnits);
    const int32_t start = toInt32(low);
    // A step that rounds to 0 would tune one frequency for ever.
    if (step == 0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero,
                           QStringLiteral("Step of %1 Hz is too small to sweep").arg(stepUnits * 10));
    result.stepUnits = step;
    windowLow_ = low;
    windowSpan_ = span;
    windowStep_ = step;
    for (int32_t scanFreq = start; step >= 0 ? scanFreq <= end : scanFreq >= end; scanFreq = addInt32(scanFreq, step)) {
        host_.yieldToWindow();
        link_.pause(10);
        if (stopRequested_) return false;  // "Setup" has put the window back already; send nothing more
        host_.betweenSteps();
        if (stopRequested_) return false;
        if (host_.holding()) {
            // Hold: stay on the last frequency tuned and keep reading the meter.
            scanFreq = toInt32(scanFreq - stepUnits);
            host_.setSmeterWidth(10.0 * link_.readMeter());
        }
        if (!host_.holding()) {
            const double prevMeter = link_.meter();
            host_.showTuning(hertzText(scanFreq));
            link_.tuneVfoB(scanFreq);
            const int16_t reading = link_.readMeter();
            host_.setSmeterWidth(10.0 * reading);
            drawPoint(host_.plot(),
                      PointInputs{plotX, halfColumn, prevX, prevMeter, reading, shade_, host_.styleIndex()});
            ++stepsDrawn_;
            result.frequencies.push_back(scanFreq);
            result.readings.push_back(reading);
            if (onPoint) onPoint(scanFreq, reading);
            prevX = plotX;
            plotX = plotX + host_.plot().width() / divide(host_.spanUnits(), stepUnits);
        }
    }
    link_.close();
    if (onSweepDone && !result.frequencies.empty()) onSweepDone(result);
    return !stopRequested_;
}

}  // namespace qv7m
