// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own choices beyond the standard window, remembered across
// runs in the platform's usual place (QSettings, organisation and application
// "qv7m": ~/.config/qv7m/qv7m.conf on Linux, the registry on Windows). Keys are
// grouped by feature; the README lists each with its meaning and default.
// The settings file qv-7m.ini is never touched by these.

#include <QByteArray>
#include <QString>

namespace qv7m::preferences {

// A left click on the plot during a scan tunes VFO-A there. Default: off.
inline const QString kClickToTune = QStringLiteral("plot/clickToTune");
// The fast sweep: two frames a step at pacing 0. Default: off.
inline const QString kFastSweep = QStringLiteral("sweep/fast");

// The plot's extras, each off by default: max and min hold, the average of
// the last four sweeps, marks on the peaks, the readout under the pointer,
// and the band plan's strip (0 none, 1 to 3 an IARU region, 4 the user's own file).
inline const QString kMaxHold = QStringLiteral("plot/maxHold");
inline const QString kMinHold = QStringLiteral("plot/minHold");
inline const QString kAverage = QStringLiteral("plot/average");
inline const QString kMarkPeaks = QStringLiteral("plot/markPeaks");
inline const QString kReadout = QStringLiteral("plot/readout");
inline const QString kBandPlan = QStringLiteral("plot/bandPlan");

// The band history's window geometry is kept under history/geometry. The DX
// cluster last connected to (HOST:PORT; none by default: nothing connects
// until the user asks), whether skimmer spots are hidden, and how many
// minutes a spot lasts.
inline const QString kLastCluster = QStringLiteral("dxCluster/last");
inline const QString kHideSkimmers = QStringLiteral("dxCluster/hideSkimmers");
inline const QString kSpotLifetime = QStringLiteral("dxCluster/spotMinutes");

bool readFlag(const QString& key, bool fallback);
void writeFlag(const QString& key, bool value);
// A whole number from lowest to highest; anything else keeps the fallback.
int readNumber(const QString& key, int fallback, int lowest, int highest);
void writeNumber(const QString& key, int value);
QString readText(const QString& key);
// A window's place and size, as QWidget::saveGeometry gives it; empty when none.
QByteArray readGeometry(const QString& key);
void writeGeometry(const QString& key, const QByteArray& geometry);
void writeText(const QString& key, const QString& value);

}  // namespace qv7m::preferences
