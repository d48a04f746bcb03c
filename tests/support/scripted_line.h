// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A line for the tests of exact bytes: logs every port change and every
// frame written, and answers each request with the next scripted answer, all
// of it at once, on a virtual clock that moves only while the program waits.

#include "core/runtime_error.h"
#include "radio/line.h"

#include <QByteArray>
#include <deque>
#include <string>
#include <vector>

namespace qv7m::test {

inline std::string hex(const QByteArray& bytes) { return bytes.toHex(' ').toUpper().toStdString(); }

class ScriptedLine : public Line {
public:
    std::vector<std::string> log;  // "open", "close", "out <hex>"
    QByteArray written;
    std::deque<QByteArray> answers;  // the next requests' answers; an empty one: the radio is silent
    LineTime clock = 0;

    void open(int16_t, const LineSettings&) override {
        log.push_back("open");
        open_ = true;
        waiting_.clear();
    }
    void close() override {
        log.push_back("close");
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    void write(const uint8_t* bytes, size_t count) override {
        check();
        const QByteArray frame(reinterpret_cast<const char*>(bytes), int(count));
        log.push_back("out " + hex(frame));
        written += frame;
        clock += LineTime(count) * kByteTime;
        if (count == cat::kFrameBytes && cat::answerLength(bytes[4], bytes[3]) > 0 && !answers.empty()) {
            waiting_ += answers.front();
            answers.pop_front();
        }
    }
    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        check();
        if (waiting_.isEmpty()) {
            clock = std::max(clock, deadline);
            return;
        }
        for (char c : waiting_) out.push_back({uint8_t(c), clock});
        waiting_.clear();
    }
    LineTime now() const override { return clock; }
    void sleep(LineTime duration) override { clock += duration; }

private:
    void check() const {
        if (!open_) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1 is closed"));
    }
    bool open_ = false;
    QByteArray waiting_;
};

}  // namespace qv7m::test
