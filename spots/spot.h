// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One DX-cluster spot and the reader of the line that announces it:
//   DX de SPOTTER:   FREQ-kHz  DXCALL   comment   HHMMZ [locator]
// as DXSpider, AR-Cluster, CC Cluster and the skimmer network send it.

#include <QByteArrayView>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QTime>
#include <optional>

namespace qv7m {

struct Spot {
    QString spotter;       // upper case, with any "-N" or "-#" suffix
    qint64 hz = 0;         // the spotted frequency
    QString call;          // upper case: letters, digits and '/'
    QString comment;       // plain text, possibly empty
    QTime utc;             // the time the cluster gives (hours and minutes)
    bool skimmer = false;  // spotter ends in "-#": a CW skimmer, not a person
    QDateTime received;    // when it arrived here; spots expire from this
};

// The spot a line announces, or nothing for any other line (announcements,
// prompts, WWV, a damaged spot). BEL, CR and LF are ignored.
std::optional<Spot> parseSpotLine(QByteArrayView line, const QDateTime& now);

// A server's bytes as plain text: UTF-8 when they are valid UTF-8, else
// Latin-1; BEL dropped, other control characters turned into spaces.
QString clusterText(QByteArrayView bytes);

}  // namespace qv7m

Q_DECLARE_METATYPE(qv7m::Spot)
