// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A band plan: named, coloured frequency segments drawn along the top of the
// plot. Files are in gqrx's bandplan.csv form, one segment a line:
//   min Hz, max Hz, mode, step Hz, #AARRGGBB, name
// so that a plan made for gqrx can be used as it is. Lines starting with '#'
// and blank lines are comments.

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <QtGlobal>

#include <vector>

namespace qv7m {

struct BandSegment {
    qint64 lowHz = 0;
    qint64 highHz = 0;
    QString mode;
    qint64 stepHz = 0;
    QRgb colour = 0;  // ARGB as in the file
    QString name;
};

struct BandPlan {
    std::vector<BandSegment> segments;  // sorted by lowHz
    int skippedLines = 0;
    int firstSkippedLine = 0;  // 1-based, 0 if none
};

// Reads a plan from the file's bytes (UTF-8, any line end). A line that is
// not a segment is skipped and counted; the rest of the file is used.
BandPlan parseBandPlan(const QByteArray& text);

// Reads the plan at path (a file or a Qt resource). Throws fileError when the
// file cannot be read.
BandPlan loadBandPlan(const QString& path);

// The segment containing hz, both ends included; where segments overlap or
// touch, the one starting highest wins, so a boundary belongs to the segment
// above it. nullptr when none does.
const BandSegment* segmentAt(const BandPlan& plan, qint64 hz);

// The plan shipped for IARU region 1, 2 or 3; empty for any other region.
QString bandPlanResource(int region);

// Where a user's own plan is looked for: bandplan.csv beside the program's
// settings (~/.config/qv7m/bandplan.csv on Linux).
QString ownBandPlanPath();

}  // namespace qv7m
