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

void Sweep::starten_Click() {
    // The start's status read yields to the event queue while "Start scan" is
    // still enabled; a second click arriving there must not start a scan
    // inside this one.
    if (running_) return;
    RunningFlag flag(running_);

    link_.Befehl(11);
    link_.Befehl(3);
    link_.ReadStatus();
    link_.Befehl(10);

    startX = 0;
    using C = SweepHost::Control;
    host_.setEnabled(C::style, false);
    host_.setEnabled(C::starten, false);
    host_.setEnabled(C::setup, true);
    host_.setEnabled(C::stopscan, true);
    host_.setEnabled(C::comport, false);
    host_.setEnabled(C::dis, false);
    host_.setEnabled(C::step, false);
    stopRequested = 0;

    while (stopRequested == 0) {
        oneSweep();
        if (stopRequested != 0) return;
    }
}

void Sweep::oneSweep() {
    using L = SweepHost::Label;
    ++sweepsStarted;
    link_.Befehl(11);
    link_.ReadStatus();

    double prevX = 0;
    double plotX = startX;
    stepUnits = intPart(toDouble(host_.stepText())) / 10.0;
    sweepCenter = link_.centerFreq;
    const double span = host_.spanUnits();
    sweepLow = sweepCenter - span / 2;
    sweepHigh = sweepCenter + span / 2;
    halfColumn = host_.picture1().Width() / divide(span, stepUnits) / 2;
    host_.setCaption(L::links, hertzText(sweepLow));
    host_.setCaption(L::mitte, hertzText(sweepCenter));
    host_.setCaption(L::rechts, hertzText(sweepHigh));
    shade = shade == 220 ? 140 : 220;

    // The bounds are taken once, in this order, rounded to 32-bit integers.
    const int32_t end = toInt32(sweepHigh);
    const int32_t step = toInt32(stepUnits);
    const int32_t start = toInt32(sweepLow);
    // A step that rounds to 0 would tune one frequency for ever.
    if (step == 0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero,
                           QStringLiteral("Step of %1 Hz is too small to sweep").arg(stepUnits * 10));
    for (int32_t scanFreq = start; step >= 0 ? scanFreq <= end : scanFreq >= end; scanFreq = addInt32(scanFreq, step)) {
        host_.doEvents();
        link_.Sleep(10);
        if (stopRequested == -1) return;  // "Setup" has put the window back already; send nothing more

        if (host_.holdValue() == 1) {
            // Hold: stay on the last frequency tuned and keep reading the meter.
            scanFreq = toInt32(scanFreq - stepUnits);
            link_.lesemeter();
            host_.setSmeterWidth(10.0 * link_.meterValue);
        }
        if (host_.holdValue() == 0) {
            const double prevMeter = link_.meterValue;
            host_.setCaption(L::info, hertzText(scanFreq));
            link_.konvertiere(scanFreq);
            link_.Befehl(1);
            link_.lesemeter();
            host_.setSmeterWidth(10.0 * link_.meterValue);
            drawPoint(host_.picture1(), PointInputs{plotX, halfColumn, prevX, prevMeter, link_.meterValue, shade,
                                                    host_.styleIndex()});
            ++fullSteps;
            if (onPoint) onPoint(scanFreq, link_.meterValue);
            prevX = plotX;
            plotX = plotX + host_.picture1().Width() / divide(host_.spanUnits(), stepUnits);
        }
    }
    link_.Befehl(10);
}

}  // namespace qv7m
