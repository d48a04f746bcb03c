#pragma once
// Reads the radio simulator's log: one line per frame it received.

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace simlog {

struct Frame {
    double t = 0;        // ms since the simulator started
    QByteArray bytes;    // the 5 bytes
    QByteArray answer;   // what the radio sent back; empty: nothing
    long vfob = 0;       // Hz
    int meter = -1;      // on set-VFO-B frames: the reading the new frequency gives
    int opcode() const { return static_cast<uint8_t>(bytes.at(4)); }
};

// The value of " key=value" in a log line; empty when the line has none.
inline QString field(const QString& line, const char* key) {
    const QString k = QLatin1Char(' ') + QLatin1String(key) + QLatin1Char('=');
    const int at = line.indexOf(k);
    return at < 0 ? QString() : line.mid(at + k.size()).section(QLatin1Char(' '), 0, 0);
}

inline std::vector<Frame> parse(const std::vector<std::string>& lines) {
    std::vector<Frame> out;
    for (const std::string& s : lines) {
        const QString line = QString::fromStdString(s);
        const QString frame = field(line, "frame");
        if (frame.size() != 10) continue;
        Frame f;
        f.t = line.section(QLatin1Char(' '), 0, 0).mid(2).toDouble();
        f.bytes = QByteArray::fromHex(frame.toLatin1());
        const QString answer = field(line, "answer");
        if (answer != QLatin1String("-")) f.answer = QByteArray::fromHex(answer.toLatin1());
        f.vfob = field(line, "vfob").toLong();
        const QString m = field(line, "meter");
        if (!m.isEmpty()) f.meter = m.toInt();
        out.push_back(f);
    }
    return out;
}

}  // namespace simlog
