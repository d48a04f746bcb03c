#pragma once
// A serial control for the form's tests: records what is sent and how the
// control is configured, serves scripted answer bytes, and can refuse ports.

#include "core/runtime_error.h"
#include "radio/mscomm.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>

class FakeComm : public qv7m::MSComm {
public:
    void setCommPort(int16_t port) override {
        calls << QStringLiteral("CommPort=%1").arg(port);
        port_ = port;
    }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& s) override {
        calls << QStringLiteral("Settings=") + s;
        settings_ = s;
    }
    QString settings() const override { return settings_; }
    void setRThreshold(int16_t n) override { calls << QStringLiteral("RThreshold=%1").arg(n); }
    void setSThreshold(int16_t n) override { calls << QStringLiteral("SThreshold=%1").arg(n); }
    void setInputLen(int16_t n) override { calls << QStringLiteral("InputLen=%1").arg(n); }
    void setPortOpen(bool open) override {
        calls << (open ? QStringLiteral("open") : QStringLiteral("close"));
        if (open && badPorts.contains(port_))
            throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial,
                                     QStringLiteral("Cannot open COM%1: no such port").arg(port_));
        if (open && failOpens > 0) {
            --failOpens;
            throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QStringLiteral("Cannot open: pulled"));
        }
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& bytes) override {
        if (!open_)
            throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QStringLiteral("Port is closed"));
        if (failOutputs > 0) {
            --failOutputs;
            throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial,
                                     QStringLiteral("Cannot write to COM%1: device vanished").arg(port_));
        }
        frames << bytes;
        const auto op = static_cast<uint8_t>(bytes.at(4));
        if (op == 0xF7 || op == 0x10) reads_ = 0;
    }
    QByteArray Input() override {
        if (!open_)
            throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, QStringLiteral("Port is closed"));
        // A meter request gets `meter` at reads 4 and 5, like the radio.
        ++reads_;
        if (answering && reads_ >= 4 && reads_ <= 5) return QByteArray(1, char(meter));
        return {};
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int) override {}

    QStringList calls;
    QList<QByteArray> frames;
    QSet<int> badPorts;
    int failOpens = 0;
    int failOutputs = 0;
    bool answering = true;
    uint8_t meter = 0x42;

private:
    int16_t port_ = 1;
    QString settings_;
    bool open_ = false;
    int reads_ = 0;
};
