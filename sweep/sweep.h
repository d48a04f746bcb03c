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
    // The fast sweep: read when the scan starts and at the top of every sweep.
    virtual bool fastSweep() const { return false; }

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
    // after the sweep's last step the port is closed and opened again for the
    // next (a fast sweep keeps it). False once the scan has ended (stopped, or
    // never started).
    bool step();
    // The step sent ahead by a fast sweep, if any, is read and told (drawn
    // when `tell`): before anything else uses the radio between two steps.
    void finishAhead(bool tell);
    // Before "Setup" or "Quit" send their frames: the step ahead is read, and
    // a fast scan puts the radio's pacing back as the standard reads leave it.
    void leaveRadio();
    // The scan ends; nothing more is sent.
    void stop() {
        running_ = false;
        fast_ = false;
    }
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
    bool stepsLeft() const { return inWindow(scanFreq_); }
    bool inWindow(int64_t units) const { return step_ >= 0 ? units <= end_ : units >= end_; }
    // A full step: tuned, read, told. A fast one sends the next step ahead
    // when `ahead` and the window has one.
    void measure(bool ahead);
    void advance();
    void reopen();

    RadioLink& link_;
    SweepHost& host_;
    ScanSettings settings_;
    bool running_ = false;
    bool inSweep_ = false;
    bool fast_ = false;  // the sweep in progress (or the start) is a fast one
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
