#pragma once
// A serial control that behaves like a radio whose answers always line up
// with the reads: VFO-B follows the 8A frames, the meter answer lands on reads
// 4.. of a meter request, the status record on reads 4.. of a status request.
// It records every setting, open, close and frame in `events`, and can refuse
// ports.

#include "core/runtime_error.h"
#include "radio/mscomm.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>

class ScriptedRadio : public qv7m::MSComm {
public:
    void setCommPort(int16_t p) override { events << QStringLiteral("CommPort=%1").arg(port_ = p); }
    int16_t commPort() const override { return port_; }
    void setSettings(const QString& s) override { events << QStringLiteral("Settings=") + (settings_ = s); }
    QString settings() const override { return settings_; }
    void setRThreshold(int16_t) override {}
    void setSThreshold(int16_t) override {}
    void setInputLen(int16_t) override {}
    void setPortOpen(bool open) override {
        events << (open ? QStringLiteral("open") : QStringLiteral("close"));
        if (open && badPorts.contains(port_)) fail(QStringLiteral("Cannot open COM%1: no such port"));
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void Output(const QByteArray& f) override {
        if (!open_) fail(QStringLiteral("COM%1 is closed"));
        frames << f;
        events << QString::fromLatin1(f.toHex(' ').toUpper());
        const auto op = static_cast<uint8_t>(f.at(4));
        if (op == 0x8A) {
            auto bcd = [&](int i) { return (uint8_t(f.at(i)) >> 4) * 10 + (uint8_t(f.at(i)) & 0x0F); };
            tuned << (vfob = bcd(3) * 1000000 + bcd(2) * 10000 + bcd(1) * 100 + bcd(0));
        } else if (op == 0xF7 || op == 0x10) {
            const uint32_t count = static_cast<uint32_t>(static_cast<uint64_t>(vfoa) * 16);  // 0.625 Hz units
            QByteArray rec(16, '\0');
            rec[0] = 0x11;
            for (int i = 0; i < 4; ++i) rec[1 + i] = char(count >> (24 - 8 * i));
            answer_ = silent ? QByteArray() : op == 0x10 ? rec : QByteArray(4, char(meterAt(vfob))) + char(0xF7);
            reads_ = 0;
        }
    }
    QByteArray Input() override {
        if (!open_) fail(QStringLiteral("COM%1 is closed"));
        const int i = ++reads_ - 4;
        return i >= 0 && i < answer_.size() ? answer_.mid(i, 1) : QByteArray();
    }
    int16_t commEvent() const override { return 0; }
    void idleWait(int ms) override { slept += ms; }

    std::function<int(int32_t)> meterAt = [](int32_t f) { return (f / 10) % 256; };
    int32_t vfoa = 1425000;  // 10 Hz units
    int32_t vfob = 0;
    bool silent = false;
    QSet<int> badPorts;
    QList<QByteArray> frames;
    QList<int32_t> tuned;
    QStringList events;
    int slept = 0;

private:
    [[noreturn]] void fail(const QString& why) const {
        throw qv7m::RuntimeError(qv7m::RuntimeError::Kind::Serial, why.arg(port_));
    }
    int16_t port_ = 1;
    QString settings_;
    bool open_ = false;
    QByteArray answer_;
    int reads_ = 0;
};
