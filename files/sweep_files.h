// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Completed sweeps written out: the record of every sweep (one line of
// rtl_power's CSV each, so that its heat-map scripts draw them) and the
// last sweep saved on request.

#include "sweep/sweep.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace qv7m {

// "date, time, Hz low, Hz high, Hz step, samples, reading, ...": the low and
// high edges are the first and last steps' frequencies, one sample a step.
QByteArray recordLine(const SweepResult& sweep);
// "Hz,reading", then a line a step.
QByteArray sweepCsv(const SweepResult& sweep);
// Writes the sweep's CSV as a file; throws fileError when it cannot.
void saveSweep(const QString& path, const SweepResult& sweep);

class SweepRecorder {
public:
    // Opens the file for appending; throws fileError when it cannot.
    void open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    // Appends one sweep (open, with at least one step) and flushes it, so
    // that a crash loses at most the sweep in progress. On failure the file
    // is closed and fileError thrown.
    void append(const SweepResult& sweep);

private:
    QFile file_;
};

}  // namespace qv7m
