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
    long vfoa = 0;       // Hz
    long vfob = 0;       // Hz
    int meter = -1;      // on set-VFO-B frames: the reading the new frequency gives
    int opcode() const { return static_cast<uint8_t>(bytes.at(4)); }
};

// The value of " key=value" in a log line; empty when the line has none.
QString field(const QString& line, const QString& key);

std::vector<Frame> parse(const std::vector<std::string>& lines);
std::vector<Frame> read(const std::string& path);

}  // namespace simlog
