// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own choices beyond the standard window, remembered across
// runs in the platform's usual place (QSettings, organisation and application
// "qv7m": ~/.config/qv7m/qv7m.conf on Linux, the registry on Windows). Keys are
// grouped by feature; the README lists each with its meaning and default.
// The settings file qv-7m.ini is never touched by these.

#include <QString>

namespace qv7m::preferences {

// A left click on the plot during a scan tunes VFO-A there. Default: off.
inline const QString kClickToTune = QStringLiteral("plot/clickToTune");
// The fast sweep: two frames a step at pacing 0. Default: off.
inline const QString kFastSweep = QStringLiteral("sweep/fast");

bool readFlag(const QString& key, bool fallback);
void writeFlag(const QString& key, bool value);

}  // namespace qv7m::preferences
