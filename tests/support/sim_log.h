// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the radio simulator's log: one line per frame it received.

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace simlog {

struct Frame {
    double t = 0;       // ms since the simulator started
    QByteArray bytes;   // the 5 bytes
    QByteArray answer;  // what the radio sent back; empty: nothing
    int meter = -1;     // on set-VFO-B frames: the reading the new frequency gives
    int opcode() const { return static_cast<uint8_t>(bytes.at(4)); }
};

inline std::vector<Frame> parse(const std::vector<std::string>& lines) {
    std::vector<Frame> out;
    for (const std::string& s : lines) {
        const QString line = QString::fromStdString(s);
        const auto field = [&](const char* key) {  // " key=value"; empty when missing
            const QString k = QStringLiteral(" %1=").arg(QLatin1String(key));
            return line.contains(k) ? line.section(k, 1).section(QLatin1Char(' '), 0, 0) : QString();
        };
        if (field("frame").size() == 10)
            out.push_back({line.section(QLatin1Char(' '), 0, 0).mid(2).toDouble(),
                           QByteArray::fromHex(field("frame").toLatin1()),
                           QByteArray::fromHex(field("answer").toLatin1()),
                           field("meter").isEmpty() ? -1 : field("meter").toInt()});
    }
    return out;
}

}  // namespace simlog
