#pragma once
// A serial control for unit tests: records every operation and every byte
// written, serves reads from a script, and fails on demand.

#include "core/runtime_error.h"
#include "radio/mscomm.h"

#include <deque>
#include <set>
#include <string>
#include <vector>

namespace qv7m::test {

inline std::string hex(const QByteArray& bytes) { return bytes.toHex(' ').toUpper().toStdString(); }

class ScriptedComm : public MSComm {
public:
    std::vector<std::string> log;     // "port 3", "open", "close", "out <hex>", "in <hex>"
    QByteArray written;
    std::vector<QByteArray> outputs;  // one entry per Output call
    std::deque<QByteArray> script;    // what the next reads return; empty once used up
    std::set<int> failingOpens;       // 1-based numbers of the opens that fail
    bool failClose = false, failSetPort = false;

    void setCommPort(int16_t port) override {
        log.push_back("port " + std::to_string(port));
        if (failSetPort) fail();
        port_ = port;
    }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString&) override {}
    QString settings() const override { return {}; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        log.push_back(open ? "open" : "close");
        if (open ? failingOpens.count(++opens_) || open_ : failClose) fail();
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override {
        if (!open_) fail();
        log.push_back("out " + hex(bytes));
        written += bytes;
        outputs.push_back(bytes);
    }
    QByteArray Input() override {
        if (!open_) fail();
        QByteArray next = script.empty() ? QByteArray() : script.front();
        if (!script.empty()) script.pop_front();
        log.push_back("in " + hex(next));
        return next;
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int) override {}

    // Bytes to read, -1 meaning an empty read.
    void reads(const std::vector<int>& values) {
        for (int v : values) script.push_back(v < 0 ? QByteArray() : QByteArray(1, char(v)));
    }

private:
    static void fail() { throw RuntimeError(RuntimeError::Kind::Serial, QStringLiteral("scripted failure")); }
    int opens_ = 0;
    int16_t port_ = 1;
    bool open_ = false;
};

}  // namespace qv7m::test
