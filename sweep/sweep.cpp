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
    fast_ = host_.fastSweep();
    link_.open(settings.port);
    link_.sendScanStart();
    if (fast_) {
        // The fast reads' pacing first; the port stays open for the sweeps.
        link_.sendPacingZero();
        link_.readStatusAtOnce();
    } else {
        link_.readStatus();
        reopen();
    }
    running_ = true;
    host_.startedScan();
}

void Sweep::beginSweep() {
    ++sweepsStarted_;
    result_ = SweepResult{};
    result_.started = QDateTime::currentDateTime();
    const bool fast = host_.fastSweep();
    if (fast_ && !fast && link_.isOpen()) {
        // Fast sweep turned off: the radio's pacing put back first, as the
        // standard reads leave it.
        link_.sendFollowUp();
        link_.close();
    }
    fast_ = fast;
    if (!link_.isOpen()) link_.open(settings_.port);
    int32_t centre = 0;
    if (fast_) {
        link_.sendPacingZero();
        centre = link_.readStatusAtOnce();
    } else {
        centre = link_.readStatus();
    }
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
    if (!result_.frequencies.empty()) host_.sweepDone(result_);
    if (!fast_) reopen();
}

void Sweep::reopen() {
    // The standard scan closes the port after the start and after every
    // sweep, and opens it for the next sweep at once: a request taken
    // between two passes ("Setup", "Quit", a client) never finds it closed.
    link_.close();
    link_.open(settings_.port);
}

bool Sweep::step() {
    if (!running_) return false;
    if (!inSweep_) beginSweep();
    if (!stepsLeft()) {
        endSweep();
        return true;
    }
    const bool ahead = link_.stepAhead();
    // The fast step has no pause of its own; a held pass keeps the standard one.
    if (!fast_ || (host_.holding() && !ahead)) link_.pause(10);
    if (host_.stopRequested()) {
        // "Setup" has put the window back already: send and draw nothing more.
        running_ = false;
        inSweep_ = false;
        return false;
    }
    if (ahead) {
        // A step sent ahead is read in its turn, held or not.
        measure(!host_.holding());
    } else {
        if (host_.holding()) {
            // Hold: stay on the last frequency tuned and keep reading the meter.
            scanFreq_ = toInt32(scanFreq_ - stepUnits_);
            host_.meterRead(fast_ ? link_.readMeterAtOnce() : link_.readMeter());
        }
        if (!host_.holding()) measure(true);
    }
    advance();
    return true;
}

void Sweep::measure(bool ahead) {
    const double prevMeter = link_.meter();
    host_.tuning(hertzText(scanFreq_));
    int16_t reading = 0;
    if (fast_) {
        if (link_.stepAhead())
            link_.turnToAhead();
        else
            link_.askMeterAt(scanFreq_);
        // The next step's frames go out while this step's answer comes in.
        const int64_t next = int64_t(scanFreq_) + step_;
        if (ahead && !host_.stopRequested() && inWindow(next)) link_.askMeterAhead(int32_t(next));
        reading = link_.takeMeter();
    } else {
        link_.tuneVfoB(scanFreq_);
        reading = link_.readMeter();
    }
    host_.meterRead(reading);
    host_.measured(PlotPoint{plotX_, halfColumn_, prevX_, prevMeter, reading, shade_, scanFreq_});
    ++stepsDrawn_;
    result_.frequencies.push_back(scanFreq_);
    result_.readings.push_back(reading);
    prevX_ = plotX_;
    plotX_ = plotX_ + settings_.plotWidth / divide(settings_.spanUnits, stepUnits_);
}

void Sweep::advance() {
    scanFreq_ = addInt32(scanFreq_, step_);
    if (!stepsLeft()) endSweep();
}

void Sweep::finishAhead(bool tell) {
    if (!link_.stepAhead()) return;
    if (!tell || !running_ || !inSweep_) {
        link_.turnToAhead();
        link_.takeMeter();
        return;
    }
    measure(false);
    advance();
}

void Sweep::leaveRadio() {
    if (link_.isOpen()) {
        finishAhead(false);
        // Pacing 0, set by a fast sweep or by a read for a network client,
        // is not what the next program to use the radio expects.
        if (link_.pacingZero()) link_.sendFollowUp();
    }
    fast_ = false;
}

}  // namespace qv7m
