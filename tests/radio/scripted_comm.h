#pragma once
// A serial control for the tests of exact bytes: logs every frame written and
// every read, and serves the reads from a script.

#include "core/runtime_error.h"
#include "radio/commcontrol.h"

#include <deque>
#include <string>
#include <vector>

namespace qv7m::test {

inline std::string hex(const QByteArray& bytes) { return bytes.toHex(' ').toUpper().toStdString(); }

class ScriptedComm : public CommControl {
public:
    std::vector<std::string> log;  // "open", "close", "out <hex>", "in <hex>"
    QByteArray written;
    std::deque<QByteArray> script;  // what the next reads return; empty once used up

    void setCommPort(int16_t) override {}
    int16_t commPort() const override { return 1; }
    void setSettings(const QString&) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override { log.push_back(open ? "open" : "close"), open_ = open; }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override { check(), log.push_back("out " + hex(bytes)), written += bytes; }
    QByteArray Input() override {
        check();
        const QByteArray next = script.empty() ? QByteArray() : script.front();
        if (!script.empty()) script.pop_front();
        return log.push_back("in " + hex(next)), next;
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int) override {}

    // Bytes to read, -1 meaning an empty read.
    void reads(const std::vector<int>& values) {
        for (int v : values) script.push_back(v < 0 ? QByteArray() : QByteArray(1, char(v)));
    }

private:
    void check() const {
        if (!open_) throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("COM1 is closed"));
    }
    bool open_ = false;
};

}  // namespace qv7m::test
