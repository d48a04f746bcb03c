// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scan's own thread: it owns the radio link, runs the scan one pass at a
// time, and takes the window's requests between two passes, where the radio
// is free. It tells the window what happened by queued signals; the window's
// thread never waits on the line.

#include "sweep/sweep.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

namespace qv7m {

// What one pass of the scan shows, told at its end in one go: the frequency
// tuned (empty on a held pass), the meter reading, and the point drawn (on a
// full step).
struct PassShown {
    QString tuning;
    int reading = -1;
    bool drawn = false;
    PlotPoint point;
};

// How the probe of a port went.
struct ProbeOutcome {
    enum class Result { Answered, NoResponse, CannotConnect, Failed } result = Result::Failed;
    QString error;  // Failed: what failed
};

class ScanWorker : public QObject, private SweepHost {
    Q_OBJECT
public:
    // The link is used on the worker's thread only, from start() on.
    explicit ScanWorker(AlignedLink& link);
    ~ScanWorker() override;

    // Starts the thread and moves the worker onto it.
    void start();
    // Ends the scan and closes the port without sending anything, then ends
    // the thread; waits for both. Called from the window's thread.
    void shutDown();

    // Called from any thread: the scan's pass in progress sends and draws
    // nothing more ("Setup" and "Quit" follow as requests).
    void requestStop() { stopRequested_ = true; }

    // ---- requests: call through post() or a queued connection
    // Tests port n and asks the radio for one meter reading.
    ProbeOutcome probe(int16_t port);
    void probeAndTell(int16_t port);
    // Starts a scan unless one runs; scanId marks everything it tells.
    void startScan(int scanId, const ScanSettings& settings);
    void setHold(bool hold) { hold_ = hold; }
    // The fast sweep on or off, from the next sweep on.
    void setFast(bool fast) { fast_ = fast; }
    // Ends a scan: the scan's end frame and the port closed if it is open.
    void setup();
    // As setup(); any failure is told with quitReady, not failed.
    void quit();
    // Tunes VFO-A while a scan runs; does nothing otherwise.
    void retuneVfoA(int32_t units);
    // Runs a job on the radio between two steps (see withRadio).
    void post(std::function<void()> job);

    // ---- for jobs, on the worker's thread
    RadioLink& radio() { return radio_; }
    bool scanning() const { return sweep_.running(); }
    // Whether the radio may be used with no scan running: the last probe
    // found it answering, or a scan has run since.
    bool radioAnswers() const { return answered_; }
    // Runs op with the port open, opening it for op when no scan holds it;
    // a step a fast sweep sent ahead is read and drawn first. A port opened
    // for op that op left at pacing 0 gets the follow-up frame before it closes.
    void withRadio(const std::function<void()>& op);

    // ---- for the window's tests and counts (worker's thread values, read when idle)
    const Sweep& sweep() const { return sweep_; }

signals:
    void probed(const qv7m::ProbeOutcome& outcome);
    void scanStarted(int scanId);
    void windowChosen(int scanId, const qv7m::SweepWindow& window);
    void passShown(int scanId, const qv7m::PassShown& pass);
    void sweepCompleted(int scanId, const qv7m::SweepResult& sweep);
    // Something failed while scanning, starting, ending or retuning; the
    // scan has ended and the port is closed.
    void failed(int scanId, const QString& message);
    // A scan ended: by "Setup", or by a failure told just before.
    void scanEnded(int scanId);
    // "Quit" may go on: the port is closed. error: what failed on the way.
    void quitReady(const QString& error);

private:
    void nextStep();
    void step();
    void fail(const QString& message);
    void endScan();
    void closeQuietly();
    // Ends the scan, and sends the scan's end frame and closes the port if it
    // is open; what failed on the way, or nothing.
    QString sendScanEndAndClose();

    bool holding() const override { return hold_; }
    bool stopRequested() const override { return stopRequested_; }
    bool fastSweep() const override { return fast_; }
    void finishAhead();
    void startedScan() override { emit scanStarted(scanId_); }
    void choseWindow(const SweepWindow& w) override { emit windowChosen(scanId_, w); }
    void tuning(const QString& f) override { pass_.tuning = f; }
    void meterRead(int16_t reading) override { pass_.reading = reading; }
    void measured(const PlotPoint& p) override {
        pass_.point = p;
        pass_.drawn = true;
    }
    void sweepDone(const SweepResult& s) override { emit sweepCompleted(scanId_, s); }

    QThread thread_;
    RadioLink radio_;
    Sweep sweep_;
    int16_t port_ = 1;
    int scanId_ = 0;
    bool hold_ = false;
    bool fast_ = false;
    bool answered_ = false;
    bool stepPosted_ = false;
    PassShown pass_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace qv7m

Q_DECLARE_METATYPE(qv7m::ProbeOutcome)
Q_DECLARE_METATYPE(qv7m::SweepWindow)
Q_DECLARE_METATYPE(qv7m::PlotPoint)
Q_DECLARE_METATYPE(qv7m::PassShown)
Q_DECLARE_METATYPE(qv7m::SweepResult)
