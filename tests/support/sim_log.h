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
    long vfob = 0;      // Hz
    int meter = -1;     // on set-VFO-B frames: the reading the new frequency gives
    int opcode() const { return static_cast<uint8_t>(bytes.at(4)); }
};

inline std::vector<Frame> parse(const std::vector<std::string>& lines) {
    std::vector<Frame> out;
    for (const std::string& s : lines) {
        const QString line = QString::fromStdString(s);
        const auto field = [&](const char* key) {  // " key=value"; empty when missing
            const QString k = QStringLiteral(" %1=").arg(QLatin1String(key));
            const int at = line.indexOf(k);
            return at < 0 ? QString() : line.mid(at + k.size()).section(QLatin1Char(' '), 0, 0);
        };
        if (field("frame").size() != 10) continue;
        Frame f;
        f.t = line.section(QLatin1Char(' '), 0, 0).mid(2).toDouble();
        f.bytes = QByteArray::fromHex(field("frame").toLatin1());
        if (field("answer") != QLatin1String("-")) f.answer = QByteArray::fromHex(field("answer").toLatin1());
        f.vfob = field("vfob").toLong();
        if (!field("meter").isEmpty()) f.meter = field("meter").toInt();
        out.push_back(f);
    }
    return out;
}

}  // namespace simlog
