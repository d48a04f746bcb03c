// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep/sweep.h"

#include "core/numeric.h"
#include "core/runtime_error.h"

#include <cmath>

namespace qv7m {

namespace {

double divide(double a, double b) {
    if (b == 0.0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero, QStringLiteral("Division by zero in the sweep window"));
    return a / b;
}

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

void Sweep::start(const ScanSettings& settings) {
    running_ = false;
    inSweep_ = false;
    settings_ = settings;
    link_.open(settings.port);
    link_.sendScanStart();
    link_.readStatus();
    link_.close();
    running_ = true;
    host_.startedScan();
}

void Sweep::beginSweep() {
    ++sweepsStarted_;
    result_ = SweepResult{};
    result_.started = QDateTime::currentDateTime();
    link_.open(settings_.port);
    const int32_t centre = link_.readStatus();
    prevX_ = 0;
    plotX_ = 0;
    stepUnits_ = intPart(toDouble(settings_.stepText)) / 10.0;
    const double span = settings_.spanUnits;
    const double low = centre - span / 2;
    const double high = centre + span / 2;
    halfColumn_ = settings_.plotWidth / divide(span, stepUnits_) / 2;
    shade_ = shade_ == 220 ? 140 : 220;
    // The bounds are taken once, in this order, rounded to 32-bit integers.
    end_ = toInt32(high);
    step_ = toInt32(stepUnits_);
    scanFreq_ = toInt32(low);
    host_.choseWindow(SweepWindow{hertzText(low), hertzText(centre), hertzText(high), low, span, step_, shade_});
    // A step that rounds to 0 would tune one frequency for ever.
    if (step_ == 0)
        throw RuntimeError(RuntimeError::Kind::DivisionByZero,
                           QStringLiteral("Step of %1 Hz is too small to sweep").arg(stepUnits_ * 10));
    result_.stepUnits = step_;
    inSweep_ = true;
}

void Sweep::endSweep() {
    inSweep_ = false;
    link_.close();
    if (!result_.frequencies.empty()) host_.sweepDone(result_);
}

bool Sweep::step() {
    if (!running_) return false;
    if (!inSweep_) beginSweep();
    if (!stepsLeft()) {
        endSweep();
        return true;
    }
    link_.pause(10);
    if (host_.stopRequested()) {
        // "Setup" has put the window back already: send and draw nothing more.
        running_ = false;
        inSweep_ = false;
        return false;
    }
    if (host_.holding()) {
        // Hold: stay on the last frequency tuned and keep reading the meter.
        scanFreq_ = toInt32(scanFreq_ - stepUnits_);
        host_.meterRead(link_.readMeter());
    }
    if (!host_.holding()) {
        const double prevMeter = link_.meter();
        host_.tuning(hertzText(scanFreq_));
        link_.tuneVfoB(scanFreq_);
        const int16_t reading = link_.readMeter();
        host_.meterRead(reading);
        host_.measured(PlotPoint{plotX_, halfColumn_, prevX_, prevMeter, reading, shade_, scanFreq_});
        ++stepsDrawn_;
        result_.frequencies.push_back(scanFreq_);
        result_.readings.push_back(reading);
        prevX_ = plotX_;
        plotX_ = plotX_ + settings_.plotWidth / divide(settings_.spanUnits, stepUnits_);
    }
    scanFreq_ = addInt32(scanFreq_, step_);
    if (!stepsLeft()) endSweep();
    return true;
}

}  // namespace qv7m
