// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scan: reads the radio's frequency, then sweeps VFO-B across a window
// around it, step by step, reading the meter at each step, sweep after sweep.
// It runs one pass at a time, so that whoever drives it (the scan's thread)
// can take other requests between two passes, when the radio is free.

#include "radio/radiolink.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

namespace qv7m {

// One measured point as the plot draws it (twips), with what it measured.
struct PlotPoint {
    double plotX = 0;       // centre of the new column
    double halfColumn = 0;  // half the column's width
    double prevX = 0;       // the previous point (line graph)
    double prevMeter = 0;
    int16_t reading = 0;  // the new reading, 0-255
    int16_t shade = 220;  // green level of this sweep's trace
    int32_t units = 0;    // the frequency tuned, 10 Hz units
};

// The window of a sweep: its texts as the labels show them, and its numbers
// in 10 Hz units.
struct SweepWindow {
    QString lowText, centreText, highText;
    double low = 0;
    double span = 0;
    int32_t step = 0;
    int16_t shade = 220;  // green level of this sweep's trace
};

// A completed sweep: every step's frequency in 10 Hz units and its reading.
struct SweepResult {
    QDateTime started;
    int32_t stepUnits = 0;
    std::vector<int32_t> frequencies;
    std::vector<int16_t> readings;
};

// What the scan needs from the window, taken when it starts (the lists are
// disabled while it runs), and what it tells.
class SweepHost {
public:
    virtual ~SweepHost() = default;
    // Read at every pass.
    virtual bool holding() const = 0;
    // "Setup" or "Quit" asked the scan to end: the pass in progress sends and
    // draws nothing more.
    virtual bool stopRequested() const = 0;

    virtual void startedScan() {}
    virtual void choseWindow(const SweepWindow&) {}
    virtual void tuning(const QString&) {}
    virtual void meterRead(int16_t) {}
    virtual void measured(const PlotPoint&) {}
    virtual void sweepDone(const SweepResult&) {}
};

struct ScanSettings {
    int16_t port = 1;         // COM1 is 1
    QString stepText;         // the step list's text, in Hz
    double spanUnits = 0;     // the displayed width in 10 Hz units
    double plotWidth = 8000;  // the plot's width in twips
};

class Sweep {
public:
    Sweep(RadioLink& link, SweepHost& host);

    // The scan's start: the radio's frequency read with the port opened for
    // it, the trace colour toggled per sweep from here on.
    void start(const ScanSettings& settings);
    bool running() const { return running_; }
    // One pass: at the top of a sweep the status read and the window first;
    // after the sweep's last step the port is closed. False once the scan
    // has ended (stopped, or never started).
    bool step();
    // The scan ends; nothing more is sent.
    void stop() { running_ = false; }
    // The trace colour starts over, as when the window is first loaded.
    void resetShade() { shade_ = 220; }
    int16_t shade() const { return shade_; }
    bool inSweep() const { return inSweep_; }

    long long stepsDrawn() const { return stepsDrawn_; }
    long long sweepsStarted() const { return sweepsStarted_; }

    // Decimal digits of a count of 10 Hz followed by "0 Hz": 1425000 -> "14250000 Hz".
    static QString hertzText(double units);

private:
    void beginSweep();
    void endSweep();
    bool stepsLeft() const { return step_ >= 0 ? scanFreq_ <= end_ : scanFreq_ >= end_; }

    RadioLink& link_;
    SweepHost& host_;
    ScanSettings settings_;
    bool running_ = false;
    bool inSweep_ = false;
    int16_t shade_ = 220;
    long long stepsDrawn_ = 0;
    long long sweepsStarted_ = 0;

    // The sweep in progress.
    double stepUnits_ = 0;
    double halfColumn_ = 0;
    double plotX_ = 0;
    double prevX_ = 0;
    int32_t scanFreq_ = 0;
    int32_t end_ = 0;
    int32_t step_ = 0;
    SweepResult result_;
};

}  // namespace qv7m
