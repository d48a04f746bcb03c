#include "sim_log.h"

#include <QString>
#include <fstream>

namespace simlog {

QString field(const QString& line, const QString& key) {
    const int at = line.indexOf(QLatin1Char(' ') + key + QLatin1Char('='));
    if (at < 0) return {};
    return line.mid(at + key.size() + 2).section(QLatin1Char(' '), 0, 0);
}

std::vector<Frame> parse(const std::vector<std::string>& lines) {
    std::vector<Frame> out;
    for (const std::string& s : lines) {
        const QString line = QString::fromStdString(s);
        const QString frame = field(line, QStringLiteral("frame"));
        if (frame.size() != 10) continue;
        Frame f;
        f.t = line.section(QLatin1Char(' '), 0, 0).mid(2).toDouble();
        f.bytes = QByteArray::fromHex(frame.toLatin1());
        f.vfoa = field(line, QStringLiteral("vfoa")).toLong();
        f.vfob = field(line, QStringLiteral("vfob")).toLong();
        const QString m = field(line, QStringLiteral("meter"));
        if (!m.isEmpty()) f.meter = m.toInt();
        out.push_back(f);
    }
    return out;
}

std::vector<Frame> read(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return parse(lines);
}

}  // namespace simlog
